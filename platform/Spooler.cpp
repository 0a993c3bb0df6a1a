#include "platform/Spooler.h"

namespace platform {

Spooler& systemSpooler();

namespace {
Spooler* replacementSpooler = nullptr;
}

Spooler& spooler() {
    return replacementSpooler != nullptr ? *replacementSpooler : systemSpooler();
}

void setSpooler(Spooler* replacement) {
    replacementSpooler = replacement;
}

} // namespace platform
