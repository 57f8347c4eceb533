// The charset seam's conveniences over what each backend implements.
#include "base/Gbk.h"

namespace qzx {

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendGbk(utf8, out);
    return out;
}

}  // namespace qzx
