#include "processnamecount.h"

namespace platform {

int countNameOccurrences(std::wstring_view listing, std::wstring_view name)
{
    if (name.empty())
        return 0;
    int count = 0;
    for (auto at = listing.find(name); at != std::wstring_view::npos;
         at = listing.find(name, at + 1))
        ++count;
    return count;
}

int countEqualLines(std::wstring_view listing, std::wstring_view name)
{
    int count = 0;
    std::size_t begin = 0;
    while (begin < listing.size()) {
        auto end = listing.find(L'\n', begin);
        if (end == std::wstring_view::npos)
            end = listing.size();
        if (listing.substr(begin, end - begin) == name)
            ++count;
        begin = end + 1;
    }
    return count;
}

} // namespace platform
