// Records the messages of the unhandled-error handler instead of showing them, for as long
// as it lives. Header-only: suites that include it link the core library.
#pragma once

#include <string>
#include <vector>

#include "core/unhandled.h"

namespace enviozvr::testing {

struct RecordedErrors : core::ErrorDisplay {
    RecordedErrors() { core::installUnhandledErrorHandler(nullptr, this); }
    ~RecordedErrors() override { core::installUnhandledErrorHandler(nullptr, nullptr); }
    RecordedErrors(const RecordedErrors&) = delete;
    RecordedErrors& operator=(const RecordedErrors&) = delete;
    void showError(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

}  // namespace enviozvr::testing
