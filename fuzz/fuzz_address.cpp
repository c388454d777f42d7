// The address resolver against the region matcher: both read the same table
// for the same text, so they must agree on whether a text names a region at
// all, and what each returns must occur in the text and sit where the table
// puts it.

#include <regions/regiontable.h>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Kuaidi;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<RegionMatch> match = MatchRegion(text);
    const std::optional<ResolvedAddress> resolved = ResolveAddress(text);
    check(match.has_value() == resolved.has_value());
    if (text.size() > MaxPlaceTextLength)
        check(!match);
    if (!match)
        return 0;

    check(match->row >= 1 && match->row <= RegionTable::count());
    check(match->entry == &RegionTable::entry(match->row));
    check(text.contains(match->entry->name));

    check(resolved->province != nullptr && isProvinceEntry(*resolved->province));
    if (const RegionEntry *city = resolved->city) {
        check(!isProvinceEntry(*city));
        check(city->province == resolved->province->province);
        check(text.contains(city->name));
    }
    return 0;
}
