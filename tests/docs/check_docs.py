#!/usr/bin/env python3
"""Checks the documents against the programs they describe.

Usage: check_docs.py SOURCE_DIR BIN_DIR

- Runs every command of the programs in README.md's code blocks, the manual
  page sources' .nf blocks and the companion's --help ("for example: ..."),
  on the simulated bus in a scratch folder: exit status 0 (or the one a mark
  names), every line of a --json command parses, and output shown after a
  "$ " command has the same lines, keys and words (values may differ; a line
  ending in "..." is a prefix).
- A command that runs for hours carries a mark just before its block:
  <!-- docs test: with --duration 2s --> (README) or .\" docs test: ...
  (manual page). "with OPTION VALUE" replaces an option's value, "stop after
  N s" sends SIGTERM then, "status N" expects that exit status, "options
  only" checks the options against --help without running, "run" runs a
  block of other commands (in the same folder, after the blocks above). The windowed
  program's commands are always checked by their options only: it needs a
  display and a board.
- Every option and command in --help is in the manual page help2man makes,
  and every option and companion command the documents name is in --help.
- The package description, changelog, metainfo and desktop entry name no
  option the programs refuse: a sentence that names companion commands and
  an option (or "JSON") is run with each.
- One udev recipe: README and manual page give the same rule, reload
  commands and plugdev variant; paths the README names exist.
"""
import gzip, json, os, re, shlex, signal, subprocess, sys, tempfile

SRC, BIN = (os.path.abspath(a) for a in sys.argv[1:3])
CLI, GUI = 'qzt6604-5-cli', 'qzt6604-5'
TIMEOUT = 20
# Commands of other programs, whose options are theirs.
FOREIGN = r'\b(cmake|ctest|cpack|systemctl|loginctl|udevadm|apt-get|lsusb|sudo|man|awk|curl)\b'
failures = []


def fail(where, what):
    failures.append(f'{where}: {what}')


def read(path):
    with open(os.path.join(SRC, path), encoding='utf-8') as f:
        return f.read()


def run(argv_or_cmd, cwd, stop=None, shell=False):
    env = dict(os.environ, PATH=BIN + os.pathsep + os.environ['PATH'], QT_QPA_PLATFORM='offscreen',
               LC_ALL='C.UTF-8')
    p = subprocess.Popen(argv_or_cmd if shell else [os.path.join(BIN, argv_or_cmd[0])] + argv_or_cmd[1:],
                         shell=shell, executable='/bin/bash' if shell else None, cwd=cwd, env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        out, err = p.communicate(timeout=stop or TIMEOUT)
        return p.returncode, out, err, stop is None
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGTERM)
        try:
            out, err = p.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, err = p.communicate()
        return p.returncode, out, err, stop is not None


def options(text):
    """--long and -x options named in text, leaving out those of other programs."""
    found = []
    for line in text.splitlines():
        line = re.split(FOREIGN, line)[0]
        found += re.findall(r'(?<![\w/.-])(--?[a-zA-Z][\w-]*)', line)
    return found


def help_of(program):
    return run([program, '--help'], SRC)[1]


def help_commands(text):
    part = text.split('Commands:')[1].split('\n\n')[0] if 'Commands:' in text else ''
    return re.findall(r'^  ([a-z]+)\b', part, re.M)


HELP = {CLI: help_of(CLI), GUI: help_of(GUI)}
OPTS = {p: set(options(t)) for p, t in HELP.items()}
COMMANDS = help_commands(HELP[CLI])


def unroff(text):
    text = re.sub(r'\\f[BIRP]|\\&', '', text)
    return text.replace('\\-', '-').replace('\\(aq', "'").replace('\\e', '\\')


def shape(line):
    """The keys, words and line form of an output line; values become '#'."""
    line = line.strip()
    if line.startswith('{'):
        return ['{'] + list(json.loads(line))
    return [t.split('=')[0] + '=' if '=' in t else
            '#' if re.fullmatch(r'[-+]?(0x)?[0-9A-Fa-f.]+[A-Za-z°%]*', t) else t for t in line.split()]


def check_command(where, cmd, shown, mark, cwd):
    words = shlex.split(cmd.split('|')[0])
    program = words[0]
    if program not in (CLI, GUI):
        return
    for o in options(cmd):
        if o not in OPTS[program]:
            fail(where, f'{o} is not an option of {program} (its --help lacks it): {cmd}')
    if program == CLI:
        command = next((w for w in words[1:] if not w.startswith('-') and
                        words[words.index(w) - 1] not in ('--adapter', '--firmware')), None)
        if command not in COMMANDS:
            fail(where, f'{command} is not a command of {program}: {cmd}')
            return
    if program == GUI or 'options only' in mark:
        return
    for opt, value in re.findall(r'with (--[\w-]+) (\S+?)[,;]?(?=\s|$)', mark):
        cmd = re.sub(rf'{opt} \S+', f'{opt} {value}', cmd) if opt in cmd else f'{cmd} {opt} {value}'
    stop = re.search(r'stop after (\d+) s', mark)
    want = int(re.search(r'status (\d+)', mark).group(1)) if 'status' in mark else 0
    status, out, err, timely = run(cmd, cwd, int(stop.group(1)) if stop else None, shell=True)
    if not timely:
        fail(where, f'{"ended before" if stop else "still running after"} its time: {cmd}'
                    + ('' if stop else ' (mark it: <!-- docs test: stop after N s -->)'))
    if status != want:
        fail(where, f'exit status {status}, not {want}: {cmd}\n{err.strip()}')
    got = (out + err if want else out).splitlines()
    if '--json' in words:
        for line in out.splitlines():
            try:
                json.loads(line)
            except ValueError:
                fail(where, f'not JSON: {line!r} from {cmd}')
    if not shown:
        return
    if len(got) != len(shown):
        fail(where, f'{len(got)} lines, the document shows {len(shown)}: {cmd}\n' + '\n'.join(got))
    for doc, real in zip(shown, got):
        try:
            want_shape, got_shape = shape(doc.removesuffix('...')), shape(real)
        except ValueError as e:
            fail(where, f'not JSON ({e}): {doc!r} or {real!r}')
            continue
        if doc.endswith('...'):
            got_shape = got_shape[:len(want_shape)]
        if want_shape != got_shape:
            fail(where, f'{cmd} prints\n  {real}\nwhere the document shows\n  {doc}')


def markdown_blocks(text):
    """(line number, lines, mark) of every indented or fenced code block."""
    lines, blocks, i = text.splitlines(), [], 0
    while i < len(lines):
        line = lines[i]
        fenced = line.lstrip().startswith('```')
        if fenced or (line.startswith('    ') and line.strip() and (i == 0 or not lines[i - 1].strip())):
            start, body = i, []
            i += 1 if fenced else 0
            while i < len(lines) and (not fenced and (lines[i].startswith('    ') or not lines[i].strip())
                                      or fenced and not lines[i].lstrip().startswith('```')):
                body.append(lines[i].strip())
                i += 1
            before = [l.strip() for l in lines[:start] if l.strip()]
            mark = re.match(r'<!-- docs test: (.*) -->$', before[-1]) if before else None
            blocks.append((start + 1, [b for b in body if b], mark.group(1) if mark else ''))
        i += 1
    return blocks


def roff_blocks(text):
    lines, blocks = text.splitlines(), []
    for i, line in enumerate(lines):
        if line == '.nf':
            body = [unroff(l) for l in lines[i + 1:lines.index('.fi', i)] if not l.startswith('.')]
            before = [l for l in lines[:i] if l not in ('.PP', '.RS')]
            mark = re.match(r'\.\\" docs test: (.*)$', before[-1]) if before else None
            blocks.append((i + 1, body, mark.group(1) if mark else ''))
    return blocks


def run_blocks(name, blocks, cwd):
    for number, body, mark in blocks:
        commands = []
        for line in body:
            if re.match(rf'(\$ )?({re.escape(CLI)}|{re.escape(GUI)})( |$)', line):
                commands.append([line.removeprefix('$ '), []])
            elif commands and body[0].startswith('$ '):
                commands[-1][1].append(line)
        for cmd, shown in commands:
            check_command(f'{name}:{number}', cmd, shown, mark, cwd)
        if mark == 'run' and not commands:
            for line in body:
                status, _, err, _ = run(line, cwd, shell=True)
                if status != 0:
                    fail(f'{name}:{number}', f'exit status {status}: {line}\n{err.strip()}')


def help_examples():
    entries = re.split(r'\n(?=  [a-z])', HELP[CLI].split('Commands:')[1].split('\n\n')[0])
    for entry in entries:
        m = re.search(r'for example: (.*)', ' '.join(entry.split()))
        if m:
            yield m.group(1)


def check_examples():
    with tempfile.TemporaryDirectory() as readme_dir:
        run_blocks('README.md', markdown_blocks(read('README.md')), readme_dir)
    for page in ('common', CLI, GUI):
        with tempfile.TemporaryDirectory() as d:
            run_blocks(f'packaging/man/{page}.h2m', roff_blocks(read(f'packaging/man/{page}.h2m')), d)
    # --help cannot carry marks: its long runs are bounded here.
    long_runs = {'log': 'with --duration 2s', 'serve': 'with --listen 127.0.0.1:0, stop after 2 s'}
    with tempfile.TemporaryDirectory() as d:
        for cmd in help_examples():
            check_command(f'{CLI} --help', cmd, [], long_runs.get(cmd.split()[1], ''), d)


def check_manual_pages():
    with tempfile.TemporaryDirectory() as d:
        for program in (CLI, GUI):
            page = os.path.join(d, program + '.1')
            subprocess.run(['help2man', '--no-info', '--version-string=0', '--source=QZT',
                            f'--include={SRC}/packaging/man/{program}.h2m',
                            f'--include={SRC}/packaging/man/common.h2m', f'--output={page}',
                            os.path.join(BIN, program)], check=True,
                           env=dict(os.environ, QT_QPA_PLATFORM='offscreen', LC_ALL='C.UTF-8'))
            with open(page, encoding='utf-8') as f:
                text = unroff(f.read())
            for o in OPTS[program]:
                if not re.search(rf'(?<![\w-]){re.escape(o)}(?![\w-])', text):
                    fail(f'man {program}', f'lacks {o}')
            for c in COMMANDS if program == CLI else []:
                if not re.search(rf'^\.?\S*\b{c}\b', text, re.M):
                    fail(f'man {program}', f'lacks the command {c}')
    for page, programs in (('common', (CLI, GUI)), (CLI, (CLI,)), (GUI, (GUI,))):
        text = unroff(read(f'packaging/man/{page}.h2m'))
        for o in options(text):
            for p in programs:
                if o not in OPTS[p]:
                    fail(f'packaging/man/{page}.h2m', f'names {o}, which {p} --help lacks')
    readme = read('README.md')
    for o in options(readme):
        if o not in OPTS[CLI] | OPTS[GUI]:
            fail('README.md', f'names {o}, which neither program\'s --help has')
    for c in re.findall(rf'{CLI} ([a-z]+)\b', readme + HELP[CLI]):
        if c not in COMMANDS and c not in ('reads',):
            fail('README.md', f'names {CLI} {c}, which is not a command')


def check_package_texts():
    cmake = read('CMakeLists.txt')
    texts = {'package description': re.search(r'CPACK_PACKAGE_DESCRIPTION\s+"(.*?)"\)', cmake, re.S).group(1),
             'packaging/changelog': read('packaging/changelog')}
    for name in os.listdir(os.path.join(SRC, 'app')):
        if name.endswith(('.metainfo.xml', '.desktop')):
            texts['app/' + name] = read('app/' + name)
    example = {cmd.split()[1]: cmd for cmd in help_examples()}
    with tempfile.TemporaryDirectory() as d:
        for where, text in texts.items():
            text = ' '.join(re.sub(r'<[^>]+>', ' ', text).split())
            for o in options(text):
                if o not in OPTS[CLI] | OPTS[GUI]:
                    fail(where, f'names {o}, which neither program takes')
            for sentence in re.split(r'(?<=[.;:])\s', text):
                flags = {o for o in options(sentence) if o in OPTS[CLI] and not re.search(
                         rf'{o} [A-Z]', HELP[CLI])} | ({'--json'} if 'JSON' in sentence else set())
                for c in [c for c in COMMANDS if re.search(rf'\b{c}\b', sentence)] if flags else []:
                    for flag in flags:
                        cmd = example[c].replace(f'{CLI} ', f'{CLI} {flag} ', 1)
                        cmd = re.sub(r'--duration \S+', '--duration 1s', cmd).replace('0.0.0.0:9725', '127.0.0.1:0')
                        status, _, err, _ = run(cmd, d, 2 if c == 'serve' else None, shell=True)
                        if status == 2:
                            fail(where, f'"{sentence}" promises {c} with {flag}, which it refuses: {err.strip()}')


def program_text():
    """The programs' C++ sources, adjacent string literals joined."""
    text = ''.join(open(os.path.join(r, f), encoding='utf-8').read() for r, _, files in os.walk(SRC)
                   if not re.match(r'build|tests|bench', os.path.relpath(r, SRC))
                   for f in files if f.endswith('.cpp'))
    return re.sub(r'"\s*\n\s*"', '', text).replace('\\u2026', '…')


def check_udev_and_paths():
    readme, page = read('README.md'), unroff(read('packaging/man/common.h2m'))
    program = program_text().replace('\\"', '"')
    recipes = {}
    for name, text in (('README.md', readme), ('man page', page), ('the program', program)):
        rules = [re.sub(r'\s+', ' ', l.strip()) for l in re.findall(r'SUBSYSTEM==.*?uaccess"', text)]
        reloads = sorted(set(re.findall(r'udevadm [a-z]+(?: --[\w-]+)*', text)))
        recipes[name] = ({re.sub(r'(id(?:Vendor|Product)}==)"[^"]*"', r'\1"ID"', r) for r in rules},
                         reloads, 'plugdev' in text)
        for rule in rules if name != 'the program' else []:
            for id_ in re.findall(r'id(?:Vendor|Product)}=="([^"]*)"', rule):
                if not re.fullmatch(r'[0-9a-z]{4}', id_):
                    fail(name, f'udev matches four-digit lowercase hex, not "{id_}": {rule}')
    if recipes['README.md'] != recipes['man page']:
        fail('udev recipe', f'README {recipes["README.md"]} differs from the manual page {recipes["man page"]}')
    if recipes['the program'][1] and recipes['the program'][:2] != recipes['README.md'][:2]:
        fail('udev recipe', f'the program\'s {recipes["the program"][:2]} differs from the README\'s')
    for path in re.findall(r'`((?:scripts|tests|bench|packaging|docs|app|build/bin)/[^` ]+|LICENSE)`', readme):
        if path.startswith('build/bin/'):
            if not re.search(rf'\((?:{re.escape(path[10:])})\s', read('bench/CMakeLists.txt') + read('app/CMakeLists.txt') + read('app/cli/CMakeLists.txt')):
                fail('README.md', f'{path}: no such program is built')
        elif not any(os.path.exists(os.path.join(SRC, path.replace('*', e))) for e in ('', 'cpp', 'h')):
            fail('README.md', f'{path} does not exist')
    # The captions the README quotes in its section on the windowed program
    # are the program's own.
    using = readme.split('## Using the program')[1].split('\n## ')[0]
    sources = program_text().replace('&', '')
    for caption in re.findall(r'"([^"]+)"', using):
        if f'"{caption}"' not in sources:
            fail('README.md', f'"{caption}" is no caption of the program')
    version = re.search(r'project\([^)]*VERSION ([\d.]+)', read('CMakeLists.txt')).group(1)
    for deb in re.findall(r'qzt6604-5_([\d.]+)_amd64\.deb', readme):
        if deb != version:
            fail('README.md', f'names the package of version {deb}; the build makes {version}')
    images = re.findall(r'!\[[^]]*\]\(([^)]+)\)', readme)
    meta = read('app/com.example.qzt_sensors.qzt6604_5.metainfo.xml')
    for image in images:
        if not os.path.exists(os.path.join(SRC, image)):
            fail('README.md', f'{image} does not exist')
    for url in re.findall(r'<image>([^<]+)</image>', meta):
        if not any(url.endswith('/' + image) for image in images):
            fail('metainfo', f'screenshot {url} is not the README\'s {images}')


check_examples()
check_manual_pages()
check_package_texts()
check_udev_and_paths()
print('\n'.join(failures) or 'The documents agree with the programs.')
sys.exit(1 if failures else 0)
