#include "footprint.h"

#include "files.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace bench {

namespace {

// DLLs that every Windows the program runs on has in its system directory.
const char* const kSystemDlls[] = {"KERNEL32.DLL", "USER32.DLL",   "GDI32.DLL",
                                   "ADVAPI32.DLL", "COMCTL32.DLL", "MSVCRT.DLL"};

template <typename T> bool ReadAt(const std::vector<char>& image, size_t offset, T& value) {
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    std::memcpy(&value, image.data() + offset, sizeof(T));
    return true;
}

// The names of the DLLs in a 32-bit PE image's import table; empty when it has none or the
// image is malformed.
std::vector<std::string> ImportedDlls(const std::vector<char>& image) {
    std::vector<std::string> dlls;
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (!ReadAt(image, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !ReadAt(image, static_cast<size_t>(dos.e_lfanew), nt) || nt.Signature != IMAGE_NT_SIGNATURE)
        return dlls;
    size_t sections = static_cast<size_t>(dos.e_lfanew) +
                      offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                      nt.FileHeader.SizeOfOptionalHeader;
    auto fileOffset = [&](DWORD rva, size_t& offset) {
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!ReadAt(image, sections + i * sizeof section, section))
                return false;
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress +
                          std::max(section.Misc.VirtualSize, section.SizeOfRawData)) {
                offset = rva - section.VirtualAddress + section.PointerToRawData;
                return true;
            }
        }
        return false;
    };
    const IMAGE_DATA_DIRECTORY& directory =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = 0;
    if (directory.VirtualAddress == 0 || !fileOffset(directory.VirtualAddress, offset))
        return dlls;
    for (IMAGE_IMPORT_DESCRIPTOR descriptor;
         ReadAt(image, offset, descriptor) && descriptor.Name != 0; offset += sizeof descriptor) {
        size_t name = 0;
        if (!fileOffset(descriptor.Name, name))
            break;
        std::string text;
        while (name < image.size() && image[name] != '\0')
            text += image[name++];
        dlls.push_back(text);
    }
    return dlls;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool IsSystemDll(const std::string& name) {
    char directory[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    std::string path = std::string(directory) + "\\" + name;
    return std::find(std::begin(kSystemDlls), std::end(kSystemDlls), Upper(name)) !=
               std::end(kSystemDlls) &&
           ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

void RunFileFootprint(CReport& report) {
    const char* figure = "5. Size of Linkvigil.exe";
    std::string path = ProgramPath();
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<std::string> dlls = ImportedDlls(image);
    if (image.empty() || dlls.empty())
        return report.Fail(figure, "cannot read " + path);

    std::string names;
    bool allSystem = true;
    for (const std::string& dll : dlls) {
        names += (names.empty() ? "" : ", ") + Upper(dll);
        allSystem = allSystem && IsSystemDll(dll);
    }
    double kb = image.size() / 1024.0;
    char size[32];
    std::snprintf(size, sizeof size, "%.0f KB", kb);
    report.Add({figure, size, "", "", "under 300 KB", Verdict(kb < 300)});
    report.Add({"5. Imported DLLs", std::to_string(dlls.size()) + ": " + names, "", "",
                "system DLLs only", Verdict(allSystem)});
}

} // namespace bench
