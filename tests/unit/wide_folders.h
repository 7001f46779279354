// Folders named outside code page 1252, for the tests of both kinds of path: one in Greek
// (no letter of it in the code page), one in Polish and its look-alike (the code page spells
// both "Lódz"), under <dir>\wide, which goes with the object.
#pragma once

#include "files.h"

#include <windows.h>

#include <string>

struct CWideFolders {
    explicit CWideFolders(const std::string& dir)
        : tree(Widen(dir) + L"\\wide"), greek(tree + L"\\\u0391\u03b8\u03ae\u03bd\u03b1"),
          polish(tree + L"\\\u0141\u00f3d\u017a"), lookAlike(tree + L"\\L\u00f3dz") {}
    ~CWideFolders() { RemoveTree(tree); }
    CWideFolders(const CWideFolders&) = delete;
    CWideFolders& operator=(const CWideFolders&) = delete;

    // FALSE where Wine cannot name files in Greek (it needs LC_ALL=C.UTF-8): skip then.
    bool MakeGreek() const {
        return ::CreateDirectoryW(tree.c_str(), nullptr) &&
               ::CreateDirectoryW(greek.c_str(), nullptr);
    }
    bool MakePolishAndLookAlike() const {
        return ::CreateDirectoryW(polish.c_str(), nullptr) &&
               ::CreateDirectoryW(lookAlike.c_str(), nullptr);
    }

    const std::wstring tree, greek, polish, lookAlike;
};
