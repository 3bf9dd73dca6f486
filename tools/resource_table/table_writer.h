// Lays resources out in the module resource-table format and writes the C++ source that carries
// the table as an ELF note.
#pragma once

#include <string>
#include <vector>

#include "tools/resource_table/resource_script.h"

namespace gs::tools::resource_table {

std::vector<unsigned char> buildTableDescriptor(const std::vector<Resource>& resources);

std::string writeNoteSource(const std::vector<unsigned char>& descriptor,
                            const std::string& origin);

}  // namespace gs::tools::resource_table
