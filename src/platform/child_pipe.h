#pragma once
// One end of a pipe between a parent and its child. What is done with the pipes is the
// same everywhere; how a pipe is read, written and closed is the system's part.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class ChildPipe {
  public:
    ChildPipe() = default;
    ~ChildPipe() { Close(); }
    ChildPipe(const ChildPipe&) = delete;
    ChildPipe& operator=(const ChildPipe&) = delete;

    // Takes over a pipe end of the system (a descriptor or a handle), closing the one held.
    void Adopt(intptr_t native);
    intptr_t Native() const { return native_; }
    void Close();

    // The number of bytes read, 0 at the end, -1 on an error or with no pipe held.
    long Read(char* buffer, size_t size);
    // Writes all of text; false when the other end no longer reads or no pipe is held.
    bool WriteAll(const std::string& text);

  private:
    bool open_ = false;
    intptr_t native_ = 0;
};

}  // namespace platform
