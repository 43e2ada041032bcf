#include "cli/FilesFrom.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "app/commands/Messages.h"
#include "cli/Input.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "filecrypt/basFileAPI.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillmoor::cli {

namespace {

// The whole of `fd`; false with `error` set when a read fails.
bool ReadAll(int fd, std::string& text, int& error) {
    char chunk[1 << 16];
    for (;;) {
        const auto got = ReadText(fd, chunk, sizeof chunk);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

// Splits at every `separator`; empty entries (a blank line, the end) are skipped.
void AppendNames(const std::string& text, char separator, std::vector<std::string>& names) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start)
            names.emplace_back(text, start, end - start);
        start = end + 1;
    }
}

bool KeyFromStandardInput(const KeyChoice& key) {
    return key.value == "-" && (key.kind == KeyKind::KeyFile || key.kind == KeyKind::PasswordFile);
}

} // namespace

int AddListedFiles(Invocation& inv, std::ostream& err, const CliConsole& console) {
    if (!inv.filesFrom)
        return kExitOk;
    const std::string& list = *inv.filesFrom;
    const bool fromStandardInput = list == "-";
    if (fromStandardInput &&
        (KeyFromStandardInput(inv.key) || std::ranges::count(inv.operands, std::string("-")) != 0))
        return Usage(err, "standard input can give the list of files or the key or the data, "
                          "only one of them");
    int error = 0;
    const int fd = fromStandardInput ? console.inFd : OpenLineFile(list, error);
    std::string text;
    const bool read = fd >= 0 && ReadAll(fd, text, error);
    if (fd >= 0 && !fromStandardInput)
        CloseLineFile(fd);
    const std::string subject =
        "--files-from " + (fromStandardInput ? "standard input" : commands::DisplayName(list));
    if (!read) {
        Report(err, subject, (fd < 0 ? "cannot open: " : "cannot read: ") + ErrorText(error));
        return kExitUsage;
    }
    AppendNames(text, inv.nullSeparated ? '\0' : '\n', inv.operands);
    return kExitOk;
}

} // namespace quillmoor::cli
