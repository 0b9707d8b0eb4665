// A full check of a package archive for the qvk tool: unlike QvkOpen, which
// refuses a bad archive, it names every problem it finds.
#pragma once

#include <string>
#include <vector>

#include "package/qvk_file.h"

// Checks the trailer, that the directory and every record (deleted ones
// included) lie inside their blocks, that live data lies inside the file and
// overlaps neither other data nor the directory or trailer, that each stored
// hash is QvkNameHash of its name, and that no two live records share a name
// (letters a-z folded) or a hash. Returns one line per problem (UTF-8), at
// most 100 of them followed by a count of the rest; empty when clean.
std::vector<std::string> QvkVerify(QvkFile* file);
