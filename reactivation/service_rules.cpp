#include "reactivation/service_rules.h"

namespace pelicor {

bool WrapLaunchFromFlags(std::int16_t firstFlag, std::int16_t secondFlag) {
    return firstFlag != 0 || secondFlag == 0;
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

}  // namespace pelicor
