#include "bundle/small_file.h"

#include "platform/file_io.h"

namespace bundle {

SmallFile ReadSmallFile(const std::string& path, size_t limit, std::string& text) {
    text.clear();
    bool tooLarge = false;
    const platform::ReadResult result =
        platform::ReadFileInPieces(path, [&](std::string_view piece) {
            if (text.size() + piece.size() > limit) {
                tooLarge = true;
                return false;
            }
            text.append(piece);
            return true;
        });
    if (tooLarge) {
        text.clear();
        return SmallFile::TooLarge;
    }
    switch (result) {
        case platform::ReadResult::Ok:
            return SmallFile::Ok;
        case platform::ReadResult::Missing:
            return SmallFile::Missing;
        default:
            return SmallFile::Error;
    }
}

}  // namespace bundle
