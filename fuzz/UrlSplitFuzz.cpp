// Any page URL split by the libcurl client as a fetch splits it: every part stays within
// its field and the port is a port.
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "web/CurlHttpClient.h"

// Input: the URL, as long as a page's URL field holds.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CurlHttpClient client;
    FuzzInput input(data, size);
    FixedField url(kTextCapacity, input.piece());
    const auto parts = std::make_unique<UrlParts>();
    if (!client.splitUrl(url.data(), *parts)) return 0;
    expectTerminated(parts->schemeName, sizeof parts->schemeName, "the scheme");
    expectTerminated(parts->host, sizeof parts->host, "the host");
    expectTerminated(parts->path, sizeof parts->path, "the path");
    fuzzExpect(parts->port >= 0 && parts->port <= 65535, "the port is 0 to 65535");
    fuzzExpect(parts->scheme != UrlScheme::Http || parts->host[0] != '\0', "an HTTP URL has a host");
    return 0;
}
