// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The plumbing between the adapter and the JPEG library: error manager, progress monitor and output
// buffer. Internal to the JPEG codec.
//
// The library's error exit must not return, and a C++ exception must not cross the library's C
// frames. So every library call runs inside Guard(): the error exit long-jumps back to it, and our own
// callbacks catch whatever they raise, park it and long-jump the same way. Guard() then rethrows the
// parked exception or raises EJPEG. Only Guard's small frame, the body lambda and the library's own
// frames are jumped over; bodies hold no objects with destructors. The library object itself belongs to
// the session, whose destructor destroys it on every path.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <type_traits>
#include <vector>

#include <jpeglib.h>

#include "platform/graphics/bitmap_types.h"

namespace flipbook {

class TJPEGImage;

namespace jpeg_detail {

// Runs body(context) and returns true, or returns false when the library's error exit or a callback
// jumped out of it.
bool CallWithErrorExit(std::jmp_buf& jump, void (*body)(void*), void* context);

// What one library object needs beside itself. Not movable: the library keeps pointers into it.
class SessionBase {
public:
    SessionBase(const SessionBase&) = delete;
    SessionBase& operator=(const SessionBase&) = delete;

    // Runs the body; a library error raises EJPEG with its message code, a callback's exception is
    // rethrown as it was.
    template <class Body>
    void Guard(Body&& body) {
        auto trampoline = [](void* context) { (*static_cast<std::remove_reference_t<Body>*>(context))(); };
        if (!CallWithErrorExit(jump_, trampoline, &body)) RaiseParked();
    }

    // For our callbacks from inside the library: runs the action and, when it raises, parks the
    // exception and leaves the library for the innermost Guard(), which raises it again.
    template <class Action>
    void RunCallback(Action&& action) noexcept {
        bool failed = false;
        try {
            action();
        } catch (...) {
            parked_ = std::current_exception();
            failed = true;
        }
        // Jump only once the catch block has ended, so the exception object is not leaked.
        if (failed) Jump();
    }
    // Leaves the library for the innermost Guard(); never call it inside a catch block.
    [[noreturn]] void Jump() noexcept { std::longjmp(jump_, 1); }

protected:
    // image: the picture whose progress event the monitor feeds, or null for no progress monitor.
    explicit SessionBase(const TJPEGImage* image);
    ~SessionBase() = default;
    // Creates the library object with our error manager, progress monitor and memory bound.
    void CreateLibraryObject(jpeg_common_struct& common, bool decompressor);

private:
    void Attach(jpeg_common_struct& common);
    [[noreturn]] void RaiseParked();
    static void OnProgressMonitor(j_common_ptr common);
    void ReportProgress(jpeg_common_struct& common);

    jpeg_error_mgr errors_{};
    jpeg_progress_mgr progress_{};
    std::jmp_buf jump_{};
    std::exception_ptr parked_;
    const TJPEGImage* image_;
    // Progress bookkeeping: the tick of the last report, the last percentage and the last row shown.
    std::uint64_t lastTick_ = 0;
    bool clockStarted_ = false;
    int lastPercent_ = 0;
    int lastRow_ = 0;
};

// A decompression object reading the given bytes, which must outlive the session.
class DecompressSession : public SessionBase {
public:
    DecompressSession(const TJPEGImage* image, const std::vector<std::uint8_t>& bytes);
    ~DecompressSession();

    // Reads the header (an image is required).
    void ReadHeader();

    jpeg_decompress_struct info{};

private:
    const std::vector<std::uint8_t>& bytes_;
};

// A compression object writing into a growing byte buffer.
class CompressSession : public SessionBase {
public:
    explicit CompressSession(const TJPEGImage* image);
    ~CompressSession();

    // Sizes the first output buffer; call before compression starts. A buffer too small doubles.
    void ExpectOutputSize(std::size_t bytes) { expectedSize_ = bytes; }
    // The bytes written, once jpeg_finish_compress has returned.
    std::vector<std::uint8_t> TakeOutput() const;

    jpeg_compress_struct info{};

private:
    static void InitDestination(j_compress_ptr info);
    static boolean EmptyOutputBuffer(j_compress_ptr info);
    static void TermDestination(j_compress_ptr info);

    jpeg_destination_mgr destination_{};
    // Left uninitialised: the library writes every byte that is later read.
    std::unique_ptr<std::uint8_t[]> output_;
    std::size_t outputCapacity_ = 0;
    std::size_t outputSize_ = 0;
    std::size_t expectedSize_ = 0;
};

// The millisecond clock the progress monitor reads; tests replace it to see every report.
using TickSource = std::uint64_t (*)();
std::uint64_t SteadyTickCount();
void SetTickSource(TickSource source);

// Most scans a progressive file may have. Real encoders write about ten; every scan costs a pass over
// the whole coefficient buffer, so a file of thousands of empty scans would stall decoding.
inline constexpr int kMaxJPEGScans = 1000;
// Most memory the library may take for its own buffers (whole-image coefficient buffers of progressive
// files, the two-pass quantizer's histogram), beside the output Bitmap.
inline constexpr long kMaxJPEGLibraryMemory = 512L * 1024 * 1024;

}  // namespace jpeg_detail
}  // namespace flipbook
