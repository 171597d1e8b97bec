// The built launcher's image, read back as a file: the loader hardening, the stack cookie, Control
// Flow Guard and the CET mark, the version record and the debug record that ties it to its PDB. Wine ignores
// DependentLoadFlags, so the field is checked where Windows reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/e2e/process_runner.h"

namespace pelicor::testing {
namespace {

class ShippedImage : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = ReadBytes(Path());
        ASSERT_GE(m_file.size(), sizeof(IMAGE_DOS_HEADER));
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        m_nt = At<IMAGE_NT_HEADERS64>(static_cast<std::size_t>(dos->e_lfanew));
        ASSERT_NE(m_nt, nullptr);
        ASSERT_EQ(m_nt->Signature, IMAGE_NT_SIGNATURE);
        ASSERT_EQ(m_nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    }

    static std::wstring Path() { return BinDir() + L"\\PelicorLaunch64.exe"; }

    // A structure at a file offset, or nullptr when the file is too short for it.
    template <typename T>
    const T* At(std::size_t offset) const {
        return offset + sizeof(T) <= m_file.size() ? reinterpret_cast<const T*>(m_file.data() + offset)
                                                   : nullptr;
    }

    // The section whose file data holds a relative virtual address, or nullptr.
    const IMAGE_SECTION_HEADER* SectionOf(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(m_nt);
        for (WORD i = 0; i < m_nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData) {
                return section;
            }
        }
        return nullptr;
    }

    // The file offset of a relative virtual address, or 0 when no section holds it.
    std::size_t OffsetOf(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = SectionOf(rva);
        return section != nullptr ? rva - section->VirtualAddress + section->PointerToRawData : 0;
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return m_nt->OptionalHeader.DataDirectory[index];
    }

    std::string m_file;
    const IMAGE_NT_HEADERS64* m_nt = nullptr;
};

TEST_F(ShippedImage, ResolvesItsImportsFromTheSystemDirectoryOnly) {
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration";
    const std::size_t offset = OffsetOf(directory.VirtualAddress);
    const auto* size = At<DWORD>(offset);
    ASSERT_NE(size, nullptr);
    // DependentLoadFlags is the WORD at 0x4E; the loader reads it only when Size covers it.
    ASSERT_GE(*size, 0x50u);
    const auto* flags = At<WORD>(offset + 0x4E);
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(*flags, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The platform's own binaries carry a stack cookie that the loader makes random, Control Flow
// Guard's tables and flags, and the CET shadow-stack mark; Windows' binary analysers look for each.
TEST_F(ShippedImage, NamesItsStackCookieWhereTheLoaderReplacesTheDefault) {
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration";
    const std::size_t config = OffsetOf(directory.VirtualAddress);
    const auto* cookieVa = At<ULONGLONG>(config + 0x58);
    ASSERT_NE(cookieVa, nullptr);
    ASSERT_GE(*At<DWORD>(config), 0x60u) << "Size must cover SecurityCookie";
    ASSERT_GT(*cookieVa, m_nt->OptionalHeader.ImageBase);
    const ULONGLONG cookieRva = *cookieVa - m_nt->OptionalHeader.ImageBase;
    // In a section the loader and the entry point may write, holding the platform's default: the
    // loader replaces only that value.
    const IMAGE_SECTION_HEADER* section = SectionOf(static_cast<DWORD>(cookieRva));
    ASSERT_NE(section, nullptr);
    EXPECT_NE(section->Characteristics & IMAGE_SCN_MEM_WRITE, 0u);
    const auto* cookie = At<ULONGLONG>(OffsetOf(static_cast<DWORD>(cookieRva)));
    ASSERT_NE(cookie, nullptr);
    EXPECT_EQ(*cookie, 0x00002B992DDFA232u);
}

TEST_F(ShippedImage, CarriesControlFlowGuardTablesAndTheShadowStackMark) {
    constexpr WORD kGuardCf = 0x4000;                 // IMAGE_DLLCHARACTERISTICS_GUARD_CF
    constexpr DWORD kCfInstrumented = 0x100;          // IMAGE_GUARD_CF_INSTRUMENTED
    constexpr DWORD kCfFunctionTablePresent = 0x400;  // IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT
    constexpr DWORD kDebugTypeExDllCharacteristics = 20;
    constexpr DWORD kCetCompat = 0x1;  // IMAGE_DLLCHARACTERISTICS_EX_CET_COMPAT
    EXPECT_EQ(m_nt->OptionalHeader.DllCharacteristics & kGuardCf, kGuardCf);

    const std::size_t config = OffsetOf(Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG).VirtualAddress);
    ASSERT_NE(config, 0u);
    ASSERT_GE(*At<DWORD>(config), 0x94u) << "Size must cover GuardFlags";
    const ULONGLONG imageEnd = m_nt->OptionalHeader.ImageBase + m_nt->OptionalHeader.SizeOfImage;
    for (const std::size_t field : {0x70, 0x78, 0x80}) {  // check and dispatch pointers, function table
        const ULONGLONG va = *At<ULONGLONG>(config + field);
        EXPECT_GT(va, m_nt->OptionalHeader.ImageBase) << std::hex << field;
        EXPECT_LT(va, imageEnd) << std::hex << field;
    }
    const ULONGLONG count = *At<ULONGLONG>(config + 0x88);
    EXPECT_GT(count, 0u) << "no function in the guard's table";
    const DWORD guardFlags = *At<DWORD>(config + 0x90);
    EXPECT_EQ(guardFlags & (kCfInstrumented | kCfFunctionTablePresent),
              kCfInstrumented | kCfFunctionTablePresent)
        << std::hex << guardFlags;

    // The defaults the check and dispatch pointers hold where nothing enforces the guard are no
    // valid targets: a guarded call to the dispatch default would jump anywhere.
    const ULONGLONG base = m_nt->OptionalHeader.ImageBase;
    const auto rvaAt = [&](std::size_t field) -> DWORD {
        const auto* pointer =
            At<ULONGLONG>(OffsetOf(static_cast<DWORD>(*At<ULONGLONG>(config + field) - base)));
        return pointer != nullptr ? static_cast<DWORD>(*pointer - base) : 0;
    };
    const DWORD checkDefault = rvaAt(0x70);
    const DWORD dispatchDefault = rvaAt(0x78);
    ASSERT_NE(checkDefault, 0u);
    ASSERT_NE(dispatchDefault, 0u);
    const std::size_t table = OffsetOf(static_cast<DWORD>(*At<ULONGLONG>(config + 0x80) - base));
    const std::size_t stride = sizeof(DWORD) + ((guardFlags >> 28) & 0xF);  // the RVA, then extra bytes
    for (ULONGLONG i = 0; i < count; ++i) {
        const auto* rva = At<DWORD>(table + static_cast<std::size_t>(i) * stride);
        ASSERT_NE(rva, nullptr);
        EXPECT_NE(*rva, checkDefault) << "the check pointer's default is a valid call target";
        EXPECT_NE(*rva, dispatchDefault) << "the dispatch pointer's default is a valid call target";
    }

    const IMAGE_DATA_DIRECTORY& debug = Directory(IMAGE_DIRECTORY_ENTRY_DEBUG);
    const std::size_t first = OffsetOf(debug.VirtualAddress);
    bool cetCompat = false;
    for (DWORD i = 0; i < debug.Size / sizeof(IMAGE_DEBUG_DIRECTORY); ++i) {
        const auto* entry = At<IMAGE_DEBUG_DIRECTORY>(first + i * sizeof(IMAGE_DEBUG_DIRECTORY));
        ASSERT_NE(entry, nullptr);
        if (entry->Type == kDebugTypeExDllCharacteristics && entry->SizeOfData >= sizeof(DWORD)) {
            const auto* flags = At<DWORD>(entry->PointerToRawData);
            cetCompat = flags != nullptr && (*flags & kCetCompat) != 0;
        }
    }
    EXPECT_TRUE(cetCompat) << "no extended DLL characteristics entry marking CET shadow-stack compatibility";
}

TEST_F(ShippedImage, KeepsAslrHighEntropyAndDepAndNamesItsRealMinimumWindows) {
    const IMAGE_OPTIONAL_HEADER64& header = m_nt->OptionalHeader;
    for (const int flag : {IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA,
                           IMAGE_DLLCHARACTERISTICS_NX_COMPAT}) {
        EXPECT_EQ(header.DllCharacteristics & flag, flag) << std::hex << flag;
    }
    EXPECT_NE(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).VirtualAddress, 0u) << "ASLR needs relocations";
    // Windows 7: kernel32's own process-status functions (K32GetModuleBaseNameW) came with it.
    EXPECT_EQ(header.MajorSubsystemVersion, 6);
    EXPECT_EQ(header.MinorSubsystemVersion, 1);
    EXPECT_EQ(header.MajorOperatingSystemVersion, 6);
    EXPECT_EQ(header.MinorOperatingSystemVersion, 1);
}

TEST_F(ShippedImage, CarriesNoBuildTimeAndNamesItsPdbWithoutAFolder) {
    EXPECT_EQ(m_nt->FileHeader.TimeDateStamp, 0u);
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_DEBUG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no debug directory";
    const std::size_t first = OffsetOf(directory.VirtualAddress);
    int codeViewRecords = 0;
    for (DWORD i = 0; i < directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY); ++i) {
        const auto* entry = At<IMAGE_DEBUG_DIRECTORY>(first + i * sizeof(IMAGE_DEBUG_DIRECTORY));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->TimeDateStamp, 0u);
        if (entry->Type != IMAGE_DEBUG_TYPE_CODEVIEW) continue;
        ++codeViewRecords;
        // "RSDS", the PDB's GUID and age, then its name.
        const char* record = m_file.data() + entry->PointerToRawData;
        ASSERT_LE(entry->PointerToRawData + entry->SizeOfData, m_file.size());
        ASSERT_GT(entry->SizeOfData, 24u);
        EXPECT_EQ(std::memcmp(record, "RSDS", 4), 0);
        EXPECT_STREQ(record + 24, "PelicorLaunch64.pdb");
    }
    EXPECT_EQ(codeViewRecords, 1);
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) return std::wstring();
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST_F(ShippedImage, VersionRecordCarriesTheProjectVersionAndTheCommit) {
    std::vector<char> info(GetFileVersionInfoSizeW(Path().c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(Path().c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    const std::wstring version = L"" PELICOR_PROJECT_VERSION;
    EXPECT_EQ(VersionString(info, L"FileVersion"), version);
    // "1.3.0+g1a2b3c4", with ".dirty" after a build from uncommitted changes; the version alone
    // from a tree without git.
    const std::wstring product = VersionString(info, L"ProductVersion");
    EXPECT_EQ(product.rfind(version, 0), 0u) << product;
    if (product != version) {
        const std::wstring suffix = product.substr(version.size());
        EXPECT_EQ(suffix.rfind(L"+g", 0), 0u) << product;
        const std::wstring commit = suffix.substr(
            2, suffix.find(L'.') == std::wstring::npos ? std::wstring::npos : suffix.find(L'.') - 2);
        EXPECT_EQ(commit.size(), 7u) << product;
        EXPECT_EQ(commit.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << product;
    }
}

}  // namespace
}  // namespace pelicor::testing
