// Which file the show plays: the one in the working folder, as always, or else the copy an
// installed show keeps in its data folder.
#pragma once

#include <functional>
#include <string>

// `name` joined to `folder` with the separator the folder already uses ('\' for a folder written
// only with backslashes, '/' otherwise); `name` alone for an empty folder.
std::string path_in_folder(const std::string& folder, const std::string& name);

// `name` (relative to the working folder) when `can_open` says it can be opened there; otherwise
// the file of that name in `data_folder` when that one can be opened; otherwise `name` again, so
// that a show without music names the file it looked for first.
std::string choose_music_file(const std::string& name, const std::string& data_folder,
                              const std::function<bool(const std::string&)>& can_open);

// Whether `path` can be opened for reading now.
bool file_can_be_opened(const std::string& path);
