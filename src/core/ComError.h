// A failure reported by a data-access object in the form COM errors take: a status code, the
// component that raised it and its description.
#pragma once

#include <string>

struct CComError {
    long HResult = 0;
    std::string Source;
    std::string Description;
};
