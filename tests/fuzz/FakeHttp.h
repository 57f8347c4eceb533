// A client that answers every GET with one fixed 200 response, so that a fuzz input goes the
// same way through the fetch rules and the decoding as a document from the network would.
#pragma once

#include <string>
#include <string_view>

#include "online/HttpGet.h"

namespace qzx::fuzz {

class FixedResponse final : public HttpGet {
  public:
    FixedResponse(std::string_view contentType, std::string_view body) {
        response.outcome = HttpOutcome::Complete;
        response.status = 200;
        response.body = std::string(body);
        response.charset = CharsetOfContentType(contentType);
    }
    HttpResponse Get(const HttpRequest&) override { return response; }

  private:
    HttpResponse response;
};

}  // namespace qzx::fuzz
