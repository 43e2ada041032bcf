#include "cli/Arguments.h"

#include <optional>

#include "app/commands/Messages.h"

namespace quillmoor::cli {

namespace {

struct OptionSpec {
    std::string_view longName;
    std::string_view shortName; // empty when there is none
    Option option;
    KeyKind key = KeyKind::None;
    bool takesValue = false; // the key options, -o, -j and --bytes
};

constexpr OptionSpec kOptions[] = {
    {"--help", "-h", Option::Help},
    {"--version", "-V", Option::Version},
    {"--quiet", "-q", Option::Quiet},
    {"--lenient", "", Option::Lenient},
    {"--yes", "-y", Option::Yes},
    {"--no-clobber", "-n", Option::NoClobber},
    {"--force", "-f", Option::Force},
    {"--stdout", "-c", Option::Stdout},
    {"--remove", "-u", Option::Remove},
    {"--null", "-0", Option::NullSeparated},
    {"--files-from", "", Option::FilesFrom, KeyKind::None, true},
    {"--output", "-o", Option::Output, KeyKind::None, true},
    {"--jobs", "-j", Option::Jobs, KeyKind::None, true},
    {"--bytes", "", Option::Bytes, KeyKind::None, true},
    {"--key-env", "", Option::Key, KeyKind::KeyEnv, true},
    {"--key-file", "", Option::Key, KeyKind::KeyFile, true},
    {"--password-env", "", Option::Key, KeyKind::PasswordEnv, true},
    {"--password-file", "", Option::Key, KeyKind::PasswordFile, true},
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.longName || (!spec.shortName.empty() && name == spec.shortName))
            return &spec;
    return nullptr;
}

// The spec of `name`, after refusing what no command takes.
const OptionSpec& KnownOption(const std::string& name, std::string_view command,
                              OptionSet accepted) {
    const OptionSpec* spec = FindOption(name);
    if (!spec) {
        if (LooksLikeSecretOption(name))
            throw UsageError("keys and passwords are never taken from the command line, where "
                             "other users can see them; use --key-env, --key-file, "
                             "--password-env or --password-file");
        throw UsageError("unknown option " + Quoted(name));
    }
    if (!accepted.Has(spec->option))
        throw UsageError("option " + Quoted(name) + " does not apply to " + std::string(command));
    return *spec;
}

// A whole number from `low` to `high`, or nothing.
std::optional<unsigned> Count(std::string_view text, unsigned low, unsigned high) {
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

void SetFlag(Invocation& inv, Option option) {
    switch (option) {
    case Option::Help: inv.help = true; break;
    case Option::Version: inv.version = true; break;
    case Option::Quiet: inv.quiet = true; break;
    case Option::Lenient: inv.lenient = true; break;
    case Option::Yes: inv.yes = true; break;
    case Option::NoClobber: inv.noClobber = true; break;
    case Option::Force: inv.force = true; break;
    case Option::Stdout: inv.toStdout = true; break;
    case Option::Remove: inv.remove = true; break;
    case Option::NullSeparated: inv.nullSeparated = true; break;
    default: break; // the others take a value
    }
}

void SetValue(Invocation& inv, const OptionSpec& spec, const std::string& name,
              const std::string& value) {
    if (value.empty())
        throw UsageError("option " + Quoted(name) + " needs a value that is not empty");
    switch (spec.option) {
    case Option::Output:
        if (inv.output)
            throw UsageError("give -o/--output only once");
        inv.output = value;
        return;
    case Option::Jobs: {
        const auto jobs = Count(value, 1, 64);
        if (!jobs)
            throw UsageError("option " + Quoted(name) + " takes a number of jobs from 1 to 64");
        inv.jobs = *jobs;
        return;
    }
    case Option::FilesFrom:
        if (inv.filesFrom)
            throw UsageError("give --files-from only once");
        inv.filesFrom = value;
        return;
    case Option::Bytes: {
        const auto bytes = Count(value, 1, 56);
        if (!bytes)
            throw UsageError("option " + Quoted(name) + " takes a key length from 1 to 56 bytes");
        inv.bytes = *bytes;
        return;
    }
    default: break;
    }
    if (inv.key.kind != KeyKind::None)
        throw UsageError("give only one of --key-env, --key-file, --password-env and "
                         "--password-file");
    inv.key = {spec.key, name, value};
}

// `arg` starts with "--"; `rest` and `i` let an option take the next
// argument as its value.
void ApplyLongOption(Invocation& inv, OptionSet accepted, const std::string& arg,
                     std::span<const std::string> rest, std::size_t& i) {
    const std::string name = OptionName(arg);
    const OptionSpec& spec = KnownOption(name, inv.command, accepted);
    std::optional<std::string> value;
    if (name.size() < arg.size())
        value = arg.substr(name.size() + 1);
    if (!spec.takesValue) {
        if (value)
            throw UsageError("option " + Quoted(name) + " takes no value");
        SetFlag(inv, spec.option);
        return;
    }
    if (!value) {
        if (i + 1 == rest.size())
            throw UsageError("option " + Quoted(name) + " needs a value");
        value = rest[++i];
    }
    SetValue(inv, spec, name, *value);
}

// `arg` is "-" and one or more letters: flags, perhaps ending in one that
// takes the rest of the word, or else the next argument, as its value.
void ApplyShortOptions(Invocation& inv, OptionSet accepted, const std::string& arg,
                       std::span<const std::string> rest, std::size_t& i) {
    for (std::size_t at = 1; at < arg.size(); ++at) {
        const std::string name{'-', arg[at]}; // never more: the rest may be a key
        const OptionSpec& spec = KnownOption(name, inv.command, accepted);
        if (!spec.takesValue) {
            SetFlag(inv, spec.option);
            continue;
        }
        if (at + 1 < arg.size())
            return SetValue(inv, spec, name, arg.substr(at + 1));
        if (i + 1 == rest.size())
            throw UsageError("option " + Quoted(name) + " needs a value");
        return SetValue(inv, spec, name, rest[++i]);
    }
}

} // namespace

std::optional<Option> OptionNamed(std::string_view name) {
    const OptionSpec* spec = FindOption(name);
    return spec ? std::optional(spec->option) : std::nullopt;
}

std::string Quoted(std::string_view text) {
    std::string shown = commands::DisplayName(text);
    return shown == text ? "'" + shown + "'" : shown; // already quoted when escaped
}

std::string OptionName(std::string_view argument) {
    if (argument.starts_with("--"))
        return std::string(argument.substr(0, argument.find('=')));
    return std::string(argument.substr(0, 2));
}

bool LooksLikeSecretOption(std::string_view name) {
    return name.starts_with("--key") || name.starts_with("--pass") || name == "-k" || name == "-p";
}

Invocation ParseArguments(std::string_view command, OptionSet accepted,
                          std::span<const std::string> rest) {
    Invocation inv;
    inv.command = command;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string& arg = rest[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            inv.operands.push_back(arg);
            inv.operandPlaces.push_back(i);
        } else if (arg == "--")
            optionsEnded = true;
        else if (arg.starts_with("--"))
            ApplyLongOption(inv, accepted | Option::Help | Option::Version, arg, rest, i);
        else
            ApplyShortOptions(inv, accepted | Option::Help | Option::Version, arg, rest, i);
    }
    if (inv.force && inv.noClobber)
        throw UsageError("give only one of -f/--force and -n/--no-clobber");
    if (inv.toStdout && inv.output)
        throw UsageError("give only one of -c/--stdout and -o/--output");
    if (inv.nullSeparated && !inv.filesFrom)
        throw UsageError("-0/--null is for the names of --files-from");
    return inv;
}

} // namespace quillmoor::cli
