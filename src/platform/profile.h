// INI profile functions. The settings files and CHIPDEF.INI have always been
// read and written with these semantics, so other tools that edit them keep
// working:
//  - section and key names match without regard to ASCII case; the first
//    matching section and the first matching key win;
//  - blanks around names and values are dropped; a value wrapped in a
//    matching pair of double or single quotes loses them;
//  - lines starting with ';' are comments;
//  - writing replaces an existing key's line in place, appends a new key after
//    the last line of its section and a new section at the end, and leaves
//    every other byte of the file as it was. New lines end with CR LF. The
//    file is replaced atomically (temporary file, then rename).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mirelle::profile {

// The value of `key` in `section`, or `def` when the file, the section or the
// key is missing. Like a read into a buffer of `buffer_size` characters, the
// result holds at most buffer_size - 1 characters.
std::string GetString(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& def, std::size_t buffer_size = 256);

// The value read as a 32-bit integer: a missing key or an empty value gives
// `def`; otherwise leading blanks, an optional sign, an optional 0x/0X prefix
// for hexadecimal, then digits up to the first other character (no digits: 0).
std::int32_t GetInt(const std::string& path, const std::string& section, const std::string& key,
                    std::int32_t def);

// The section names in file order, as written (case kept).
std::vector<std::string> GetSectionNames(const std::string& path);

// Writes `key` = `value` in `section`, creating the file or the section as
// needed. Returns false when the file could not be written; the file is then
// unchanged.
bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value);

// Removes `key` from `section`, keeping every other line as it is. True when
// the key is gone afterwards (also when there was no such file or key).
bool DeleteKey(const std::string& path, const std::string& section, const std::string& key);

// The same operations on the text of an INI file already in memory; the file
// functions above are built on these, and the fuzz target drives them.
std::string GetStringFromText(const std::string& text, const std::string& section,
                              const std::string& key, const std::string& def,
                              std::size_t buffer_size = 256);
std::vector<std::string> GetSectionNamesFromText(const std::string& text);
std::string DeleteKeyFromText(const std::string& text, const std::string& section, const std::string& key);
std::string WriteStringToText(const std::string& text, const std::string& section,
                              const std::string& key, const std::string& value);
// The integer rule of GetInt on one value text.
std::int32_t ParseProfileInt(const std::string& value);

}  // namespace mirelle::profile
