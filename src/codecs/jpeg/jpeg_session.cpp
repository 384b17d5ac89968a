// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/jpeg/jpeg_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include <jerror.h>

#include "codecs/jpeg/jpeg_image.h"

namespace flipbook::jpeg_detail {

namespace {

// The smallest first output buffer; it doubles whenever the library fills it.
constexpr std::size_t kFirstOutputSize = 64 * 1024;
// Reports are made at most this often.
constexpr std::uint64_t kProgressIntervalMs = 500;

TickSource tickSource = SteadyTickCount;

SessionBase& SessionOf(j_common_ptr common) {
    return *static_cast<SessionBase*>(common->client_data);
}

[[noreturn]] void ErrorExit(j_common_ptr common) {
    SessionOf(common).Jump();
}

// Warnings and trace messages are dropped: a damaged file decodes as far as the library gets.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) {
    buffer[0] = '\0';
}

void ResetErrorManager(j_common_ptr common) {
    common->err->num_warnings = 0;
    common->err->msg_code = 0;
}

}  // namespace

std::uint64_t SteadyTickCount() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetTickSource(TickSource source) {
    tickSource = source != nullptr ? source : SteadyTickCount;
}

bool CallWithErrorExit(std::jmp_buf& jump, void (*body)(void*), void* context) {
    if (setjmp(jump) != 0) return false;
    body(context);
    return true;
}

SessionBase::SessionBase(const TJPEGImage* image) : image_(image) {
    errors_.error_exit = ErrorExit;
    errors_.emit_message = EmitMessage;
    errors_.output_message = OutputMessage;
    errors_.format_message = FormatMessage;
    errors_.reset_error_mgr = ResetErrorManager;
    progress_.progress_monitor = OnProgressMonitor;
}

void SessionBase::Attach(jpeg_common_struct& common) {
    common.err = &errors_;
    common.client_data = this;
    if (image_ != nullptr) common.progress = &progress_;
}

void SessionBase::RaiseParked() {
    if (parked_) {
        std::exception_ptr parked = std::exchange(parked_, nullptr);
        std::rethrow_exception(parked);
    }
    throw EJPEG(errors_.msg_code);
}

void SessionBase::OnProgressMonitor(j_common_ptr common) {
    // Checked here, outside any try block, because the library's error exit jumps out of this frame.
    if (common->is_decompressor != FALSE &&
        reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxJPEGScans)
        ERREXIT(common, JERR_BAD_PROGRESSION);

    SessionBase& session = SessionOf(common);
    session.RunCallback([&] { session.ReportProgress(*common); });
}

void SessionBase::ReportProgress(jpeg_common_struct& common) {
    if (image_ == nullptr) return;

    const std::uint64_t now = tickSource();
    if (!clockStarted_) {
        clockStarted_ = true;
        lastTick_ = now;
        return;
    }
    if (now - lastTick_ < kProgressIntervalMs) return;
    lastTick_ = now;

    // The library may call before it knows its passes; there is nothing to tell then.
    if (progress_.pass_limit <= 0 || progress_.total_passes <= 0) return;
    const double done =
        static_cast<double>(progress_.pass_counter) / static_cast<double>(progress_.pass_limit) +
        progress_.completed_passes;
    const int percent = static_cast<int>(done * 100.0 / progress_.total_passes);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;

    Rect band;
    if (common.is_decompressor) {
        const auto& info = reinterpret_cast<const jpeg_decompress_struct&>(common);
        const int scanline = static_cast<int>(info.output_scanline);
        // A new output pass starts again from the top: finish the band at the bottom.
        const int bottom = scanline < lastRow_ ? static_cast<int>(info.output_height) : scanline;
        band = Rect{0, lastRow_, static_cast<int>(info.output_width), bottom};
        lastRow_ = scanline;
    }
    image_->Progress(ProgressStage::Running, percent, band.Height() > 3, band);
}

void SessionBase::CreateLibraryObject(jpeg_common_struct& common, bool decompressor) {
    Attach(common);
    try {
        Guard([&] {
            if (decompressor)
                jpeg_create_decompress(reinterpret_cast<j_decompress_ptr>(&common));
            else
                jpeg_create_compress(reinterpret_cast<j_compress_ptr>(&common));
            // Bound the library's whole-image buffers; without backing store it fails instead of swapping.
            common.mem->max_memory_to_use = kMaxJPEGLibraryMemory;
        });
    } catch (...) {
        // The owner's destructor does not run for a half-made session; free what the library took.
        jpeg_destroy(&common);
        throw;
    }
    // Creating the object cleared everything but the error manager and client data.
    Attach(common);
}

DecompressSession::DecompressSession(const TJPEGImage* image, const std::vector<std::uint8_t>& bytes)
    : SessionBase(image), bytes_(bytes) {
    CreateLibraryObject(reinterpret_cast<jpeg_common_struct&>(info), true);
}

DecompressSession::~DecompressSession() {
    jpeg_destroy_decompress(&info);
}

void DecompressSession::ReadHeader() {
    Guard([this] {
        jpeg_mem_src(&info, bytes_.data(), static_cast<unsigned long>(bytes_.size()));
        jpeg_read_header(&info, TRUE);
    });
}

CompressSession::CompressSession(const TJPEGImage* image) : SessionBase(image) {
    CreateLibraryObject(reinterpret_cast<jpeg_common_struct&>(info), false);
    destination_.init_destination = InitDestination;
    destination_.empty_output_buffer = EmptyOutputBuffer;
    destination_.term_destination = TermDestination;
    info.dest = &destination_;
}

CompressSession::~CompressSession() {
    jpeg_destroy_compress(&info);
}

void CompressSession::InitDestination(j_compress_ptr info) {
    auto& session = *static_cast<CompressSession*>(static_cast<SessionBase*>(info->client_data));
    session.RunCallback([&] {
        session.outputCapacity_ = std::max(kFirstOutputSize, session.expectedSize_);
        session.output_ = std::make_unique_for_overwrite<std::uint8_t[]>(session.outputCapacity_);
    });
    session.destination_.next_output_byte = session.output_.get();
    session.destination_.free_in_buffer = session.outputCapacity_;
}

boolean CompressSession::EmptyOutputBuffer(j_compress_ptr info) {
    // The library calls this when the whole buffer is full, whatever free_in_buffer says.
    auto& session = *static_cast<CompressSession*>(static_cast<SessionBase*>(info->client_data));
    const std::size_t used = session.outputCapacity_;
    session.RunCallback([&] {
        auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(used * 2);
        std::memcpy(larger.get(), session.output_.get(), used);
        session.output_ = std::move(larger);
        session.outputCapacity_ = used * 2;
    });
    session.destination_.next_output_byte = session.output_.get() + used;
    session.destination_.free_in_buffer = session.outputCapacity_ - used;
    return TRUE;
}

void CompressSession::TermDestination(j_compress_ptr info) {
    auto& session = *static_cast<CompressSession*>(static_cast<SessionBase*>(info->client_data));
    session.outputSize_ = session.outputCapacity_ - session.destination_.free_in_buffer;
}

std::vector<std::uint8_t> CompressSession::TakeOutput() const {
    return {output_.get(), output_.get() + outputSize_};
}

}  // namespace flipbook::jpeg_detail
