#!/usr/bin/env python3
"""Checks the documents against the programs they describe.

Usage: check_docs.py SOURCE_DIR BIN_DIR

- Every program command in README.md's code blocks, the manual page sources'
  .nf blocks and the companion's --help ("for example: ...") runs on the
  simulated bus in a scratch folder: its exit status is 0, each line of a
  --json command parses, and output shown after a "$ " command has the same
  lines, keys and words (a line ending in "..." is a prefix). The windowed
  program's commands are checked by their options only: it needs a display.
- A mark before a block, <!-- docs test: ... --> (README) or .\" docs test:
  ... (manual page), says how: "with OPTION VALUE" replaces a value (a run for
  hours), "stop after N s" sends SIGTERM then, "status N" expects that status,
  "run" runs the block's other commands (in the folder of the blocks above).
- Every option and command in --help is in the manual page help2man makes,
  and every option and companion command the documents name is in --help.
- The package description, changelog, metainfo and desktop entry name no
  option the programs refuse; a sentence naming commands and an option (or
  "JSON") is run with each.
- One udev recipe in README, manual page and program; the paths, images,
  captions and package version the README names exist.
"""
import json, os, pathlib, re, shlex, signal, subprocess, sys, tempfile

SRC, BIN = (os.path.abspath(a) for a in sys.argv[1:3])
CLI, GUI = 'qzt6604-5-cli', 'qzt6604-5'
ENV = dict(os.environ, PATH=BIN + os.pathsep + os.environ['PATH'], QT_QPA_PLATFORM='offscreen', LC_ALL='C.UTF-8')
# Commands of other programs, whose options are theirs.
FOREIGN = r'\b(cmake|ctest|cpack|systemctl|loginctl|udevadm|apt-get|lsusb|sudo|man|awk|curl)\b'
# Code blocks: fenced or indented after a blank line in Markdown, .nf to .fi in roff.
MARKDOWN = r'(?m)^ *```.*\n(?P<f>(?:.*\n)*?) *```|^[ \t]*\n(?P<i> {4}(?! *```).*\n(?: {4}.*\n|[ \t]*\n)*)'
ROFF = r'(?ms)^\.nf\n(?P<r>.*?)^\.fi$'
failures = []


def fail(where, what):
    failures.append(f'{where}: {what}')


def read(path):
    return pathlib.Path(SRC, path).read_text(encoding='utf-8')


def run(cmd, cwd, stop=None):
    """(status, stdout, stderr, whether it was stopped: at stop seconds, or after 20 s if stop is None)."""
    p = subprocess.Popen(cmd, shell=True, executable='/bin/bash', cwd=cwd, env=ENV, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        out, err = p.communicate(timeout=stop or 20)
        return p.returncode, out, err, False
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGTERM)
    try:
        out, err = p.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, err = p.communicate()
    return p.returncode, out, err, True


def options(text):
    return [o for line in text.splitlines()
            for o in re.findall(r'(?<![\w/.-])(--?[a-zA-Z][\w-]*)', re.split(FOREIGN, line)[0])]


def unroff(text):
    return re.sub(r'\\f[BIRP]', '', text).replace('\\-', '-')


HELP = {p: run(f'{p} --help', SRC)[1] for p in (CLI, GUI)}
OPTS = {p: set(options(t)) for p, t in HELP.items()}
COMMAND_HELP = HELP[CLI].split('Commands:')[1].split('\n\n')[0]
COMMANDS = re.findall(r'^  ([a-z]+)\b', COMMAND_HELP, re.M)
EXAMPLES = {m.group(1).split()[1]: m.group(1) for entry in re.split(r'\n(?=  [a-z])', COMMAND_HELP)
            if (m := re.search(r'for example: (.*)', ' '.join(entry.split())))}


def shape(line):
    """The keys of an output line (JSON or key=value words) and its other words."""
    line = line.strip()
    if line.startswith('{'):
        return ['{'] + list(json.loads(line))
    return [t.split('=')[0] + '=' if '=' in t else t for t in line.split()]


def check_command(where, cmd, shown, mark, cwd):
    words = shlex.split(cmd.split('|')[0])
    program = words[0]
    for o in options(cmd):
        if o not in OPTS[program]:
            fail(where, f'{o} is not an option of {program} (its --help lacks it): {cmd}')
    command = next((w for i, w in enumerate(words) if i and w[0] != '-'
                    and words[i - 1] not in ('--adapter', '--firmware')), None)
    if program == CLI and command not in COMMANDS:
        return fail(where, f'{command} is not a command of {program}: {cmd}')
    if program == GUI:
        return
    for opt, value in re.findall(r'with (--[\w-]+) (\S+?)[,;]?(?=\s|$)', mark):
        cmd = re.sub(rf'{opt} \S+', f'{opt} {value}', cmd)
    stop = re.search(r'stop after (\d+) s', mark)
    want = int(re.search(r'status (\d+)', mark).group(1)) if 'status' in mark else 0
    status, out, err, stopped = run(cmd, cwd, int(stop.group(1)) if stop else None)
    if stopped != bool(stop):
        fail(where, f'ended before its {stop.group(1)} s: {cmd}' if stop else
             f'still running after 20 s (mark it: <!-- docs test: stop after N s -->): {cmd}')
    if status != want:
        fail(where, f'exit status {status}, not {want}: {cmd}\n{err.strip()}')
    for line in out.splitlines() if '--json' in words else []:
        try:
            json.loads(line)
        except ValueError:
            fail(where, f'not JSON: {line!r} from {cmd}')
    got = (out + err if want else out).splitlines()
    if shown and len(got) != len(shown):
        fail(where, f'{len(got)} lines, the document shows {len(shown)}: {cmd}\n' + '\n'.join(got))
    for doc, real in zip(shown, got):
        try:
            want_shape, got_shape = shape(doc.removesuffix('...')), shape(real)
        except ValueError as e:
            fail(where, f'not JSON ({e}): {doc!r} or {real!r}')
            continue
        if want_shape != (got_shape[:len(want_shape)] if doc.endswith('...') else got_shape):
            fail(where, f'{cmd} prints\n  {real}\nwhere the document shows\n  {doc}')


def check_blocks(name, pattern, cwd):
    """Checks the program commands in name's code blocks, or runs a block marked "run"."""
    text = read(name)
    for m in re.finditer(pattern, text):
        where = f'{name}:{text.count(chr(10), 0, m.start(m.lastgroup)) + 1}'
        before = [''] + [l.strip() for l in text[:m.start()].splitlines() if l.strip() not in ('', '.PP', '.RS')]
        mark = (re.findall(r'^(?:<!--|\.\\") docs test: (.*?)(?: -->)?$', before[-1]) or [''])[0]
        body = [unroff(l).strip() for l in m.group(m.lastgroup).splitlines() if l.strip() and l[0] != '.']
        commands = []
        for line in body:
            if re.match(rf'(\$ )?{GUI}(-cli)?( |$)', line):
                commands.append([line.removeprefix('$ '), []])
            elif commands and body[0].startswith('$ '):
                commands[-1][1].append(line)
        for cmd, shown in commands:
            check_command(where, cmd, shown, mark, cwd)
        for line in body if mark == 'run' and not commands else []:
            status, _, err, _ = run(line, cwd)
            if status != 0:
                fail(where, f'exit status {status}: {line}\n{err.strip()}')


def check_examples():
    for name, pattern in [('README.md', MARKDOWN)] + [(f'packaging/man/{p}.h2m', ROFF) for p in ('common', CLI, GUI)]:
        with tempfile.TemporaryDirectory() as d:
            check_blocks(name, pattern, d)
    # --help cannot carry marks: its long runs are bounded here.
    long_runs = {'log': 'with --duration 2s', 'serve': 'with --listen 127.0.0.1:0, stop after 2 s'}
    with tempfile.TemporaryDirectory() as d:
        for command, cmd in EXAMPLES.items():
            check_command(f'{CLI} --help', cmd, [], long_runs.get(command, ''), d)


def check_options():
    for program in (CLI, GUI):
        text = unroff(subprocess.run(
            ['help2man', '--no-info', '--version-string=0', '--source=QZT', os.path.join(BIN, program),
             f'--include={SRC}/packaging/man/{program}.h2m', f'--include={SRC}/packaging/man/common.h2m'],
            check=True, env=ENV, timeout=60, stdout=subprocess.PIPE, text=True).stdout)
        for o in OPTS[program]:
            if not re.search(rf'(?<![\w-]){re.escape(o)}(?![\w-])', text):
                fail(f'man {program}', f'lacks {o}')
        for c in COMMANDS if program == CLI else []:
            if not re.search(rf'^\.?\S*\b{c}\b', text, re.M):
                fail(f'man {program}', f'lacks the command {c}')
    for name, takes, which in (('packaging/man/common.h2m', OPTS[CLI] & OPTS[GUI], 'both programs\''),
                               (f'packaging/man/{CLI}.h2m', OPTS[CLI], CLI), (f'packaging/man/{GUI}.h2m', OPTS[GUI], GUI),
                               ('README.md', OPTS[CLI] | OPTS[GUI], 'either program\'s')):
        for o in options(unroff(read(name))):
            if o not in takes:
                fail(name, f'names {o}, which is not in {which} --help')
    for c in re.findall(rf'{CLI} ([a-z]+)\b', read('README.md') + HELP[CLI]):
        if c not in COMMANDS:
            fail('README.md', f'names {CLI} {c}, which is not a command')


def check_package_texts():
    texts = {'package description': re.search(r'CPACK_PACKAGE_DESCRIPTION\s+"(.*?)"\)', read('CMakeLists.txt'),
                                              re.S).group(1), 'packaging/changelog': read('packaging/changelog')}
    texts.update({f'app/{n}': read(f'app/{n}') for n in os.listdir(os.path.join(SRC, 'app'))
                  if n.endswith(('.metainfo.xml', '.desktop'))})
    with tempfile.TemporaryDirectory() as d:
        for where, text in texts.items():
            text = ' '.join(re.sub(r'<[^>]+>', ' ', text).split())
            for o in options(text):
                if o not in OPTS[CLI] | OPTS[GUI]:
                    fail(where, f'names {o}, which neither program takes')
            for sentence in re.split(r'(?<=[.;:])\s', text):
                # Flags only: an option that takes a value is left to the examples.
                flags = {o for o in options(sentence) if o in OPTS[CLI] and not re.search(rf'{o} [A-Z]', HELP[CLI])}
                flags |= {'--json'} if 'JSON' in sentence else set()
                for c in [c for c in COMMANDS if re.search(rf'\b{c}\b', sentence)] if flags else []:
                    for flag in flags:
                        cmd = EXAMPLES[c].replace(f'{CLI} ', f'{CLI} {flag} ', 1)
                        cmd = re.sub(r'--duration \S+', '--duration 1s', cmd).replace('0.0.0.0:9725', '127.0.0.1:0')
                        status, _, err, _ = run(cmd, d, 2 if c == 'serve' else None)
                        if status == 2:
                            fail(where, f'"{sentence}" promises {c} with {flag}, which it refuses: {err.strip()}')


def check_udev_and_paths():
    readme = read('README.md')
    # The programs' C++ sources, adjacent string literals joined.
    program = re.sub(r'"\s*\n\s*"', '', ''.join(
        read(os.path.join(r, f)) for r, _, files in os.walk(SRC)
        if not re.match(r'build|tests|bench', os.path.relpath(r, SRC)) for f in files if f.endswith('.cpp')))
    recipes, ids = {}, re.compile(r'(id(?:Vendor|Product)}==)"([^"]*)"')
    for name, text in (('README.md', readme), ('man page', unroff(read('packaging/man/common.h2m'))),
                       ('the program', program.replace('\\"', '"'))):
        rules = [' '.join(r.split()) for r in re.findall(r'SUBSYSTEM==.*?uaccess"', text)]
        recipes[name] = ({ids.sub(r'\1"ID"', r) for r in rules},
                         sorted(set(re.findall(r'udevadm [a-z]+(?: --[\w-]+)*', text))), 'plugdev' in text)
        for rule in rules if name != 'the program' else []:
            for _, id_ in ids.findall(rule):
                if not re.fullmatch(r'[0-9a-z]{4}', id_):
                    fail(name, f'udev matches four-digit lowercase hex, not "{id_}": {rule}')
    if recipes['README.md'] != recipes['man page']:
        fail('udev recipe', f'README {recipes["README.md"]} differs from the manual page {recipes["man page"]}')
    if recipes['the program'][:2] != recipes['README.md'][:2]:
        fail('udev recipe', f'the program\'s {recipes["the program"][:2]} differs from the README\'s')
    built = read('bench/CMakeLists.txt') + read('app/CMakeLists.txt') + read('app/cli/CMakeLists.txt')
    images = re.findall(r'!\[[^]]*\]\(([^)]+)\)', readme)
    for path in re.findall(r'`((?:scripts|tests|bench|packaging|docs|app|build/bin)/[^` ]+|LICENSE)`', readme) + images:
        if path.startswith('build/bin/'):
            if not re.search(rf'\({re.escape(path[10:])}\s', built):
                fail('README.md', f'{path}: no such program is built')
        elif not any(os.path.exists(os.path.join(SRC, path.replace('*', e))) for e in ('', 'cpp', 'h')):
            fail('README.md', f'{path} does not exist')
    # The captions quoted in the section on the windowed program are its own.
    for caption in re.findall(r'"([^"]+)"', readme.split('## Using the program')[1].split('\n## ')[0]):
        if f'"{caption}"' not in program.replace('\\u2026', '…').replace('&', ''):
            fail('README.md', f'"{caption}" is no caption of the program')
    version = re.search(r'project\([^)]*VERSION ([\d.]+)', read('CMakeLists.txt')).group(1)
    for deb in re.findall(r'qzt6604-5_([\d.]+)_amd64\.deb', readme):
        if deb != version:
            fail('README.md', f'names the package of version {deb}; the build makes {version}')
    for url in re.findall(r'<image>([^<]+)</image>', read('app/com.example.qzt_sensors.qzt6604_5.metainfo.xml')):
        if not any(url.endswith('/' + image) for image in images):
            fail('metainfo', f'screenshot {url} is not the README\'s {images}')


check_examples()
check_options()
check_package_texts()
check_udev_and_paths()
print('\n'.join(failures) or 'The documents agree with the programs.')
sys.exit(1 if failures else 0)
