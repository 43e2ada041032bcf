// What Explorer, the loader and installers read from both programs: the
// version information, the icon and the manifest.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/WindowsApi.h"
#include "tests/TestFiles.h"
#include <winver.h>

namespace {

using quillmoor::test::ProgramFolder;
namespace fs = std::filesystem;

constexpr WORD kVersion[] = {QUILLMOOR_VERSION_NUMBERS};

struct Program {
    const wchar_t* file;
    std::vector<std::string> inManifest, notInManifest;
};

const Program kPrograms[] = {
    {L"quillmoor.exe",
     {"<dpiAwareness", "PerMonitorV2", ">true</longPathAware>", "Common-Controls"},
     {"activeCodePage"}},
    // A console program: its text is UTF-8 end to end; the console, not it,
    // scales what it shows.
    {L"quillmoor-cli.exe",
     {">true</longPathAware>", ">UTF-8</activeCodePage>", "level=\"asInvoker\"", "<supportedOS"},
     {"dpiAware", "Common-Controls"}},
};

// The entry `path` of a version block, or null.
template <typename T> const T* Query(std::vector<BYTE>& block, const wchar_t* path) {
    void* value = nullptr;
    UINT size = 0;
    return ::VerQueryValueW(block.data(), path, &value, &size) && size > 0
               ? static_cast<const T*>(value)
               : nullptr;
}

// A value of the string table the translation entry names, as Explorer finds it.
std::wstring VersionString(std::vector<BYTE>& block, const wchar_t* name) {
    const WORD* translation = Query<WORD>(block, L"\\VarFileInfo\\Translation");
    wchar_t query[128] = L"";
    if (translation)
        std::swprintf(query, std::size(query), L"\\StringFileInfo\\%04x%04x\\%ls", translation[0],
                      translation[1], name);
    const wchar_t* value = translation ? Query<wchar_t>(block, query) : nullptr;
    return value ? value : L"(missing)";
}

std::string ResourceText(HMODULE module, LPCWSTR type) {
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), type);
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, ::SizeofResource(module, found)) : std::string();
}

TEST(ProgramResources, VersionIconAndManifest) {
    const std::wstring version(L"" QUILLMOOR_VERSION);
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(fs::path(program.file).string());
        const fs::path path = ProgramFolder() / program.file;
        DWORD ignored = 0;
        std::vector<BYTE> block(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
        ASSERT_FALSE(block.empty()) << "no version information";
        ASSERT_TRUE(
            ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        for (const wchar_t* name : {L"FileVersion", L"ProductVersion"})
            EXPECT_EQ(VersionString(block, name), version);
        EXPECT_EQ(VersionString(block, L"ProductName"), L"Quillmoor");
        EXPECT_EQ(VersionString(block, L"OriginalFilename"), program.file);
        EXPECT_NE(VersionString(block, L"FileDescription").find(L"Quillmoor"), std::wstring::npos);

        const auto* fixed = Query<VS_FIXEDFILEINFO>(block, L"\\");
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        for (const DWORD high : {fixed->dwFileVersionMS, fixed->dwProductVersionMS})
            EXPECT_EQ(high, MAKELONG(kVersion[1], kVersion[0]));
        for (const DWORD low : {fixed->dwFileVersionLS, fixed->dwProductVersionLS})
            EXPECT_EQ(low, MAKELONG(0, kVersion[2]));

        const HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        EXPECT_FALSE(ResourceText(module, RT_GROUP_ICON).empty()) << "no icon";
        const std::string manifest = ResourceText(module, RT_MANIFEST);
        ::FreeLibrary(module);
        for (const std::string& text : program.inManifest)
            EXPECT_NE(manifest.find(text), std::string::npos) << text << " not in the manifest";
        for (const std::string& text : program.notInManifest)
            EXPECT_EQ(manifest.find(text), std::string::npos) << text << " in the manifest";
    }
}

} // namespace
