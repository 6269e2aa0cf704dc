#include "cli/text_sink.h"

namespace zelio {

void FileSink::write(std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

void FileSink::flush() {
    if (std::fflush(file_) != 0) failed_ = true;
}

bool FileSink::failed() const { return failed_ || std::ferror(file_) != 0; }

}  // namespace zelio
