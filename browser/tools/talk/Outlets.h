#pragma once

#include "Presentation.h"
#include "Printer.h"
#include "Tally.h"
#include "Transcript.h"

namespace browser_extensions::talk {

// Where the parts of a session say what happened: the report, the transcript and the tally,
// with one way of showing frames and messages.
struct Outlets {
    const Presentation& presentation;
    Printer& printer;
    Transcript& transcript;
    Tally& tally;
};

}  // namespace browser_extensions::talk
