// The commands' action builders: each reads its arguments (throwing
// UsageError for a bad one) and returns what the command does.
#pragma once

#include "app/cli/Companion.h"

namespace qzt::cli {

Action scan(const Invocation &in);
Action dib(const Invocation &in);
Action temps(const Invocation &in);
Action volts(const Invocation &in);
Action ping(const Invocation &in);
Action offset(const Invocation &in);
Action request(const Invocation &in);
// The log loop: see LogLoop.cpp.
Action log(const Invocation &in);
// Readings for Prometheus: see Serve.cpp.
Action serve(const Invocation &in);

} // namespace qzt::cli
