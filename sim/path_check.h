// What voxa-sim checks of the files and folders it is given, before a run starts (and again
// when a script line uses one), so that a mistyped path is refused with the system's reason
// instead of showing the module an empty slot or failing after the whole run.
//
// Each check returns an empty string when the path can be used as said, else the system's
// reason as strerror() words it ("No such file or directory", "Is a directory", ...).
#pragma once

#include <string>

namespace sim {

// A file to read (a script): it exists, is no folder and opens for reading.
std::string check_readable_file(const std::string& path);
// A card image: it exists, is no folder and opens for reading and writing, as the card's
// sectors are read and written in place.
std::string check_card_image(const std::string& path);
// A folder shown as a card: it exists, is a folder and can be listed.
std::string check_card_folder(const std::string& path);
// A file voxa-sim will write (a screenshot, the log): the path is no folder, and its folder
// exists and takes new files.
std::string check_writable_file(const std::string& path);

// The one shape of every message about such a path: "WHAT PATH: REASON", e.g.
// "--sd-image /x.img: No such file or directory".
std::string path_problem(const std::string& what, const std::string& path,
                         const std::string& reason);

}  // namespace sim
