#include "app/music_file.h"

#include <cstdio>

std::string path_in_folder(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char last = folder.back();
    if (last == '/' || last == '\\') {
        return folder + name;
    }
    const bool backslashes_only =
        folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
    return folder + (backslashes_only ? '\\' : '/') + name;
}

std::string choose_music_file(const std::string& name, const std::string& data_folder,
                              const std::function<bool(const std::string&)>& can_open) {
    if (can_open(name) || data_folder.empty()) {
        return name;
    }
    const std::string installed = path_in_folder(data_folder, name);
    return can_open(installed) ? installed : name;
}

bool file_can_be_opened(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}
