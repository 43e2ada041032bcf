#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Between the part of the file layer that is the same everywhere and the
// part each system has of its own.
namespace quillmoor::detail {

// The system's words for an errno value (or, on Windows, a system code).
std::string SystemErrorText(int error);

// Nothing at all is at `path`, not even a link that leads nowhere.
bool IsFree(const std::filesystem::path& path);

// Why no temporary name of a target is free: what the first of `candidates`
// that is not a regular file is (EISDIR or a FileRefusal), with `first` set
// to it; EBUSY when they are all files, as live runs over the target hold.
int WhatIsInTheWay(const std::vector<std::filesystem::path>& candidates,
                   std::filesystem::path& first);

} // namespace quillmoor::detail
