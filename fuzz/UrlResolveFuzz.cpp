// Any link text on any page resolved as the crawl resolves it: the result stays within
// the link's field, and no tab or line break survives into it.
#include <cstring>
#include <string>

#include "base/Text.h"
#include "fuzz/FuzzSupport.h"
#include "web/UrlResolve.h"

namespace {

// The one call of link resolution, kept apart so that a change of what it takes about
// the page is made here alone.
bool resolve(const char* pageUrl, const char* pageHost, int32_t level, bool localLinksOnly, char* link) {
    return resolveLink(LinkSource{pageUrl, pageHost, level}, localLinksOnly, link);
}

constexpr int32_t kHighestLevel = 50;  // levels a page is given: 0 (none) to 50

}  // namespace

// Input: flags (bit 0: local links only), the page's level, then the page's URL, its host
// and the link, each ending at a NUL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool localLinksOnly = input.byte() & 1;
    const int32_t level = input.byte() % (kHighestLevel + 1);
    FixedField url(kTextCapacity, input.piece());
    FixedField host(kTextCapacity, input.piece());
    FixedField link(kTextCapacity, input.piece());

    const bool followed = resolve(url.data(), host.data(), level, localLinksOnly, link.data());
    const std::string result = link.text("the resolved link");
    if (followed && !std::strpbrk(url.data(), "\t\r\n") && !std::strpbrk(host.data(), "\t\r\n"))
        fuzzExpect(result.find_first_of("\t\r\n") == std::string::npos, "a followed link holds no tab or line break");
    return 0;
}
