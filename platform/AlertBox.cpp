#include "platform/AlertBox.h"

#include <cstdio>

namespace platform {

void StandardErrorAlertBox::show(const std::string& text) {
    std::fprintf(stderr, "Tarvo: %s\n", text.c_str());
}

} // namespace platform
