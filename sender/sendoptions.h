// The send options that arrive as text (the headless arguments, the main window's boxes)
// read as numbers: the batch size, read once where it is given, and the minutes between
// cycles. Plain functions of their text; nothing here touches a database.
#pragma once

#include <optional>
#include <string>

namespace enviozvr::sender {

// A minute in milliseconds: Minut counts minutes, the timer milliseconds.
inline constexpr int kMinuteMs = 60000;

// Events taken per destination and cycle when nothing else is said: the headless mode's
// --batch and the main window's NroOp as it opens.
inline constexpr int kDefaultBatchSize = 100;
// What the cycle takes an empty NroOp for; it writes the number back into the options
// when it takes a destination's batch (SendOptions::setBatchSize).
inline constexpr int kEmptyBoxBatchSize = 80;

// The batch size as read where it is given: a whole number from 1 up (digits only, no
// sign, no blanks, at most INT32_MAX), nothing (an empty text) or a text that is no such
// number, kept for the message that refuses it.
class BatchSize {
  public:
    // Nothing given.
    BatchSize() = default;
    // A number from 1 up.
    explicit BatchSize(int events) : events_(events) {}
    // Reads `text`; never throws.
    static BatchSize fromText(const std::string& text);

    // A number was given.
    bool usable() const { return events_.has_value(); }
    // The number; nullopt when nothing was given. A text that is no number throws
    // std::invalid_argument "'<text>' is not a valid integer value".
    std::optional<int> events() const;

  private:
    std::optional<int> events_;
    std::optional<std::string> refused_;  // the text that is no number
};

// Minutes between automatic cycles: a whole number from 0 up whose interval
// (minutes x 60000 ms) fits a 32-bit millisecond count; negative and larger values are
// refused like text. minutesValue throws std::invalid_argument "'<text>' is not a valid
// integer value"; tryMinutesValue returns nothing instead.
int minutesValue(const std::string& text);
std::optional<int> tryMinutesValue(const std::string& text);

}  // namespace enviozvr::sender
