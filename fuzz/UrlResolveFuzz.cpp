// Any link text on any page resolved as the crawl resolves it: the result stays within
// the link's field, no tab or line break survives into it, and a link followed from a
// page on the site stays on the site's host.
#include <cstring>
#include <string>

#include "base/Text.h"
#include "fuzz/FuzzSupport.h"
#include "web/UrlResolve.h"
#include "web/WebAddress.h"

namespace {

// The one call of link resolution, kept apart so that a change of what it takes about
// the page is made here alone.
bool resolve(const char* pageUrl, const char* siteHost, int32_t level, char* link) {
    return resolveLink(LinkSource{pageUrl, level}, siteHost, link);
}

constexpr int32_t kHighestLevel = 50;  // levels a page is given: 0 (none) to 50

}  // namespace

// Input: a flags byte (unused, kept so the corpus keeps its shape), the page's level, then
// the page's URL, the site's host name and the link, each ending at a NUL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    input.byte();
    const int32_t level = input.byte() % (kHighestLevel + 1);
    FixedField url(kTextCapacity, input.piece());
    FixedField siteHost(kTextCapacity, input.piece());
    FixedField link(kTextCapacity, input.piece());

    const bool followed = resolve(url.data(), siteHost.data(), level, link.data());
    const std::string result = link.text("the resolved link");
    if (followed && !std::strpbrk(url.data(), "\t\r\n"))
        fuzzExpect(result.find_first_of("\t\r\n") == std::string::npos, "a followed link holds no tab or line break");

    // From a page on the site, whatever the link says, the crawl stays on the site's host.
    char pageHost[kTextCapacity];
    char resultHost[kTextCapacity];
    hostNameOf(url.data(), pageHost, sizeof pageHost);
    hostNameOf(result.c_str(), resultHost, sizeof resultHost);
    WebAddress site;
    if (followed && pageHost[0] != '\0' && std::strcmp(pageHost, siteHost.data()) == 0 &&
        splitWebAddress(result.c_str(), site))
        fuzzExpect(std::strcmp(resultHost, pageHost) == 0, "a followed link stays on the site's host");
    return 0;
}
