// Reading ELF program headers and notes, trusting nothing in the bytes.
#include <elf.h>

#include <cstring>

#include "platform/linux/detail/resource_lookup.h"

namespace gs::platform::detail {
namespace {

bool fits(std::size_t offset, std::size_t length, std::size_t size) {
    return offset <= size && length <= size - offset;
}

std::size_t alignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

template <typename Header, typename ProgramHeader>
NoteSearch searchFile(ByteSpan file, ByteSpan& descriptor) {
    Header header;
    if (file.size < sizeof header) {
        return NoteSearch::damaged;
    }
    std::memcpy(&header, file.data, sizeof header);
    if ((header.e_type != ET_DYN && header.e_type != ET_EXEC) ||
        header.e_phentsize != sizeof(ProgramHeader) || header.e_phoff == 0 ||
        !fits(header.e_phoff, std::size_t{header.e_phnum} * sizeof(ProgramHeader), file.size)) {
        return NoteSearch::damaged;
    }
    NoteSearch result = NoteSearch::absent;
    for (std::size_t i = 0; i < header.e_phnum; ++i) {
        ProgramHeader segment;
        std::memcpy(&segment, file.data + header.e_phoff + i * sizeof segment, sizeof segment);
        if (segment.p_type != PT_NOTE) {
            continue;
        }
        if (!fits(segment.p_offset, segment.p_filesz, file.size)) {
            return NoteSearch::damaged;
        }
        const ByteSpan notes{file.data + segment.p_offset,
                             static_cast<std::size_t>(segment.p_filesz)};
        const NoteSearch search = findResourceNote(notes, segment.p_align == 8 ? 8 : 4, descriptor);
        if (search != NoteSearch::absent) {
            return search;
        }
    }
    return result;
}

}  // namespace

NoteSearch findResourceNote(ByteSpan segment, std::size_t alignment, ByteSpan& descriptor) {
    constexpr std::size_t nameSize = sizeof resource_table::noteName;
    std::size_t offset = 0;
    while (offset < segment.size) {
        Elf64_Nhdr note;  // the same three words in 32-bit files
        if (!fits(offset, sizeof note, segment.size)) {
            return NoteSearch::damaged;
        }
        std::memcpy(&note, segment.data + offset, sizeof note);
        const std::size_t nameOffset = offset + sizeof note;
        const std::size_t paddedName = alignUp(note.n_namesz, alignment);
        if (!fits(nameOffset, paddedName, segment.size)) {
            return NoteSearch::damaged;
        }
        const std::size_t descriptorOffset = nameOffset + paddedName;
        if (!fits(descriptorOffset, note.n_descsz, segment.size)) {
            return NoteSearch::damaged;
        }
        if (note.n_type == resource_table::noteType && note.n_namesz == nameSize &&
            std::memcmp(segment.data + nameOffset, resource_table::noteName, nameSize) == 0) {
            descriptor = {segment.data + descriptorOffset, note.n_descsz};
            return NoteSearch::found;
        }
        offset = descriptorOffset + alignUp(note.n_descsz, alignment);
    }
    return NoteSearch::absent;
}

NoteSearch findResourceNoteInFile(ByteSpan file, ByteSpan& descriptor) {
    if (file.size < EI_NIDENT || std::memcmp(file.data, ELFMAG, SELFMAG) != 0 ||
        file.data[EI_DATA] != ELFDATA2LSB) {
        return NoteSearch::damaged;
    }
    switch (file.data[EI_CLASS]) {
        case ELFCLASS64:
            return searchFile<Elf64_Ehdr, Elf64_Phdr>(file, descriptor);
        case ELFCLASS32:
            return searchFile<Elf32_Ehdr, Elf32_Phdr>(file, descriptor);
        default:
            return NoteSearch::damaged;
    }
}

}  // namespace gs::platform::detail
