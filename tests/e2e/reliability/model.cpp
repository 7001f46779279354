#include "model.h"

#include <algorithm>
#include <cctype>

namespace reliability {

void CModel::Up(const std::string& name, const std::string& ip, bool complete) {
    table.push_back(
        {name.substr(0, rasstub::kEntryNameSize), ip.substr(0, rasstub::kIpAddressSize), complete});
}

void CModel::UpMany(DWORD count, const std::string& prefix) {
    for (DWORD i = 1; i <= count; ++i)
        Up(prefix + std::to_string(i),
           "10." + std::to_string(i >> 16 & 0xFF) + "." + std::to_string(i >> 8 & 0xFF) + "." +
               std::to_string(i & 0xFF),
           true);
}

void CModel::Complete(const std::string& name) {
    auto entry = Find(name);
    if (entry != table.end())
        entry->complete = true;
}

void CModel::Down(const std::string& name) {
    auto entry = Find(name);
    if (entry != table.end())
        table.erase(entry);
}

std::vector<CModel::Entry>::iterator CModel::Find(const std::string& name) {
    return std::find_if(table.begin(), table.end(),
                        [&](const Entry& entry) { return entry.name == name; });
}

bool CModel::IsMonitored(const std::string& name) {
    return name.size() == sizeof kAol - 1 &&
           std::equal(name.begin(), name.end(), kAol, [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

bool CModel::Check() {
    // Room for ten records at first; a longer table costs a second enumeration.
    enumerations += table.size() > 10 ? 2 : 1;
    if (!table.empty())
        log.push_back(kHeader);
    const Entry* match = nullptr;
    for (const Entry& entry : table) {
        log.push_back(entry.name);
        if (IsMonitored(entry.name)) {
            match = &entry;
            break;
        }
    }
    Apply(match != nullptr && match->complete, match != nullptr ? match->ip : "");
    return match != nullptr;
}

void CModel::Apply(bool found, const std::string& address) {
    if (!up && found) {
        up = true;
        list.push_back(ListUp(address));
        log.push_back(LogUp(address));
        ++ups;
    } else if (up && !found) {
        up = false;
        list.push_back(kListDown);
        log.push_back(kLogDown);
        ++downs;
    }
}

void CChanges::Up(const std::string& name, const std::string& ip, bool complete) {
    table.Up(name.c_str(), ip.c_str(), complete);
    for (CModel* model : models)
        model->Up(name, ip, complete);
    ++count;
}

void CChanges::UpMany(DWORD n, const std::string& prefix) {
    table.UpMany(n, prefix.c_str());
    for (CModel* model : models)
        model->UpMany(n, prefix);
    count += n;
}

void CChanges::Complete(const std::string& name) {
    table.Complete(name.c_str());
    for (CModel* model : models)
        model->Complete(name);
    ++count;
}

void CChanges::Down(const std::string& name) {
    table.Down(name.c_str());
    for (CModel* model : models)
        model->Down(name);
    ++count;
}

void CChanges::DownAll() {
    count += Table().size();
    table.DownAll();
    for (CModel* model : models)
        model->table.clear();
}

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

Lines Names(const std::string& prefix, DWORD count) {
    Lines names;
    for (DWORD i = 1; i <= count; ++i)
        names.push_back(prefix + std::to_string(i));
    return names;
}

Lines Concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace reliability
