// Folders named outside code page 1252, for the tests of both kinds of path: one in Greek
// (no letter of it in the code page), one in Polish and its look-alike (the code page spells
// both "Lódz"), under <dir>\wide, which goes with the object.
#pragma once

#include "files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

struct CWideFolders {
    explicit CWideFolders(const std::string& dir)
        : tree(Widen(dir) + L"\\wide"), greek(tree + L"\\\u0391\u03b8\u03ae\u03bd\u03b1"),
          polish(tree + L"\\\u0141\u00f3d\u017a"), lookAlike(tree + L"\\L\u00f3dz") {}
    ~CWideFolders() { RemoveTree(tree); }
    CWideFolders(const CWideFolders&) = delete;
    CWideFolders& operator=(const CWideFolders&) = delete;

    // Makes the three folders: "" when made, else why not, for the test to skip with where
    // Wine cannot name them (they need code page 1252, and Greek a UTF-8 locale: CTest runs
    // these tests under LC_ALL=C.UTF-8). Where Greek could be made, Polish failing fails the test.
    std::string Make() const {
        if (::GetACP() != 1252)
            return "needs ANSI code page 1252";
        if (!::CreateDirectoryW(tree.c_str(), nullptr) ||
            !::CreateDirectoryW(greek.c_str(), nullptr))
            return "Wine cannot name files in Greek here (run with LC_ALL=C.UTF-8)";
        if (!::CreateDirectoryW(polish.c_str(), nullptr) ||
            !::CreateDirectoryW(lookAlike.c_str(), nullptr)) {
            ADD_FAILURE() << "the Polish folder or its look-alike was not made";
            return "the Polish folders are missing";
        }
        return "";
    }

    const std::wstring tree, greek, polish, lookAlike;
};
