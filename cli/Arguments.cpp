#include "cli/Arguments.h"

#include <optional>

#include "app/commands/Messages.h"

namespace quillmoor::cli {

namespace {

struct OptionSpec {
    std::string_view longName;
    std::string_view shortName; // empty when there is none
    Option option;
    KeyKind key = KeyKind::None; // the key options take a value; the others none
};

constexpr OptionSpec kOptions[] = {
    {"--quiet", "-q", Option::Quiet},
    {"--lenient", "", Option::Lenient},
    {"--yes", "-y", Option::Yes},
    {"--key-env", "", Option::Key, KeyKind::KeyEnv},
    {"--key-file", "", Option::Key, KeyKind::KeyFile},
    {"--password-env", "", Option::Key, KeyKind::PasswordEnv},
    {"--password-file", "", Option::Key, KeyKind::PasswordFile},
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.longName || (!spec.shortName.empty() && name == spec.shortName))
            return &spec;
    return nullptr;
}

bool& FlagOf(Invocation& inv, Option option) {
    switch (option) {
    case Option::Lenient: return inv.lenient;
    case Option::Yes: return inv.yes;
    case Option::Quiet:
    case Option::Key: break;
    }
    return inv.quiet;
}

// `arg` is an option, `value` its "=..." part if any; `rest` and `i` let a
// key option take the next argument as its value.
void ApplyOption(Invocation& inv, OptionSet accepted, const std::string& arg,
                 std::span<const std::string> rest, std::size_t& i) {
    const std::string name = OptionName(arg);
    const bool isLong = arg.starts_with("--");
    std::optional<std::string> value;
    if (isLong && name.size() < arg.size())
        value = arg.substr(name.size() + 1);
    else if (!isLong && arg.size() > 2)
        value = arg.substr(2); // "-qy" or "-kSecret": never echoed

    if (name == "--help" || name == "-h") {
        inv.help = true;
        return;
    }
    const OptionSpec* spec = FindOption(name);
    if (!spec) {
        if (LooksLikeSecretOption(name))
            throw UsageError("keys and passwords are never taken from the command line, where "
                             "other users can see them; use --key-env, --key-file, "
                             "--password-env or --password-file");
        throw UsageError("unknown option " + Quoted(name));
    }
    if (!accepted.Has(spec->option))
        throw UsageError("option " + Quoted(name) + " does not apply to " + inv.command);
    if (spec->key == KeyKind::None) {
        if (value)
            throw UsageError("option " + Quoted(name) + " takes no value");
        FlagOf(inv, spec->option) = true;
        return;
    }
    if (inv.key.kind != KeyKind::None)
        throw UsageError("give only one of --key-env, --key-file, --password-env and "
                         "--password-file");
    if (!value) {
        if (i + 1 == rest.size())
            throw UsageError("option " + Quoted(name) + " needs a value");
        value = rest[++i];
    }
    if (value->empty())
        throw UsageError("option " + Quoted(name) + " needs a value that is not empty");
    inv.key = {spec->key, name, *value};
}

} // namespace

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
        if (optionsEnded || arg == "-" || !arg.starts_with('-'))
            inv.operands.push_back(arg);
        else if (arg == "--")
            optionsEnded = true;
        else
            ApplyOption(inv, accepted, arg, rest, i);
    }
    return inv;
}

} // namespace quillmoor::cli
