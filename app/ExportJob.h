// Writing an export file on a worker thread, which the window polls as it polls the fetches, so
// that a list of a million rows never freezes it.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "base/Gbk.h"
#include "records/FileSystem.h"
#include "watch/EventList.h"

namespace qzx {

/// One export under way. Made and destroyed on the GUI thread; the worker only copies the rows,
/// writes the file and raises Done.
class ExportJob {
  public:
    /// Starts the worker: the rows of list as they are when it copies them, written to path
    /// (UTF-8) with day as the export's date and encode as the charset. Throws std::system_error
    /// when no thread can be started (see StartExportJob).
    ExportJob(const EventList& list, FileSystem& files, std::string path, LocalTime day,
              EncodeAppend encode);
    /// Waits for the worker: the file is finished rather than left half written.
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    /// True once the file is written or has failed. Any thread.
    bool Done() const { return done.load(std::memory_order_acquire); }
    /// After Done: 1 when the whole file was written, 0 otherwise (an old file then unchanged).
    int Result() const { return result; }
    /// The file being written.
    const std::string& Path() const { return path; }

  private:
    std::string path;
    int result = 0;
    std::atomic<bool> done{false};
    std::thread worker;
};

/// An ExportJob, or null when no thread could be started (then nothing was written).
std::unique_ptr<ExportJob> StartExportJob(const EventList& list, FileSystem& files,
                                          std::string path, LocalTime day, EncodeAppend encode);

}  // namespace qzx
