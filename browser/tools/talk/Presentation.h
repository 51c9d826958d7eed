#pragma once

#include <cstddef>
#include <string>

#include <boost/json/object.hpp>

#include "FrameCheck.h"
#include "InputLine.h"
#include "TalkOptions.h"

namespace browser_extensions::talk {

// How frames and sent messages look: a text for the report, an event for the transcript.
class Presentation {
  public:
    explicit Presentation(const TalkOptions& options);

    std::string FrameText(const CheckedFrame& frame) const;
    boost::json::object FrameEvent(const CheckedFrame& frame) const;
    std::string SentText(const InputLine& input, std::size_t index, bool delivered) const;
    boost::json::object SentEvent(const InputLine& input, std::size_t index, bool delivered) const;

  private:
    std::string Shown(const boost::json::value& value) const;

    bool pretty_;
    bool showHex_;
    std::size_t maxPrint_;
};

}  // namespace browser_extensions::talk
