// The export's text and bytes for any rows and any date.
#include "base/Gbk.h"
#include "records/RecordExport.h"
#include "tests/fuzz/FuzzRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const qzx::LocalTime day = qzx::fuzz::TakeTime(input);
    const std::vector<qzx::EventRow> rows = qzx::fuzz::TakeRows(input);

    const std::string text = qzx::BuildExportText(rows, day);
    // The header, an empty line, then exactly one line of four fields per row.
    const std::size_t headerLines = qzx::fuzz::CountOf(qzx::BuildExportText({}, day), '\n');
    FUZZ_CHECK(qzx::fuzz::CountOf(text, '\n') == headerLines + rows.size());
    FUZZ_CHECK(qzx::fuzz::CountOf(text, '\r') == 0);
    std::size_t lineStart = text.size();
    for (std::size_t i = 0; i < rows.size(); ++i) lineStart = text.rfind('\n', lineStart - 2) + 1;
    FUZZ_CHECK(qzx::fuzz::CountOf(std::string_view(text).substr(lineStart), '\t') ==
               3 * rows.size());

    // The bytes made in one pass are the text, encoded, with CR LF.
    const std::string bytes = qzx::BuildExportBytes(rows, day, qzx::AppendGbk);
    FUZZ_CHECK(bytes == qzx::EncodeFileText(text, qzx::AppendGbk));
    return 0;
}
