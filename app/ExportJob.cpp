// The worker behind the export button.
#include "app/ExportJob.h"

#include <system_error>
#include <utility>

#include "records/RecordExport.h"

namespace qzx {

ExportJob::ExportJob(const EventList& list, FileSystem& files, std::string target, LocalTime day,
                     EncodeAppend encode)
    : path(std::move(target)) {
    worker = std::thread([this, &list, &files, day, encode] {
        // Nothing may leave a thread's entry: a list too large to copy is a failed export.
        try {
            // The copy holds the list still for a moment; the watcher waits for it rather than
            // losing a change, and the slow part, encoding and writing, runs without the lock.
            const std::vector<EventRow> rows = list.Snapshot();
            result = WriteExportFile(files, path, rows, day, encode);
        } catch (...) {
            result = 0;
        }
        done.store(true, std::memory_order_release);
    });
}

ExportJob::~ExportJob() {
    if (worker.joinable()) worker.join();
}

std::unique_ptr<ExportJob> StartExportJob(const EventList& list, FileSystem& files,
                                          std::string path, LocalTime day, EncodeAppend encode) {
    try {
        return std::make_unique<ExportJob>(list, files, std::move(path), day, encode);
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace qzx
