#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/commands/Commands.h"
#include "cli/Arguments.h"
#include "cli/CliMain.h"
#include "common/Secret.h"

// The key of a run: where the options say it comes from (an environment
// variable, a file, standard input, a prompt on the terminal), read as one
// line, decoded and checked as the window checks its Key box. Secrets are
// wiped however these return.
namespace quillmoor::cli {

// The key text as the Key box would hold it: a key as typed, or a password
// turned into 32 hex digits as by MD5. Returns 0, or the status after
// saying why there is none.
int ObtainKeyText(const Invocation& inv, commands::Command operation, std::ostream& err,
                  const CliConsole& console, SecretText16& keyText);

// md5's text: `operand` as given, or one line of standard input (asked for
// on a terminal) when it is missing or "-". Returns 0, or the status after
// saying why there is none.
int ObtainMd5Text(const std::optional<std::string>& operand, std::ostream& err,
                  const CliConsole& console, SecretText16& text);

} // namespace quillmoor::cli
