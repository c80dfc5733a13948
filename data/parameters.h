// A connection's name=value parameter list.
//
// Names compare without regard to case; setting a non-empty value replaces the line of
// that name (or appends one) spelled as in the call; setting empty text removes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace enviozvr::data {

class ParameterList {
  public:
    ParameterList() = default;
    // Lines of the form name=value, in order.
    explicit ParameterList(std::vector<std::string> lines);

    void set(std::string_view name, std::string_view value);
    // The value of the named line, empty text when there is none.
    std::string get(std::string_view name) const;
    bool has(std::string_view name) const;
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    int find(std::string_view name) const;
    std::vector<std::string> lines_;
};

}  // namespace enviozvr::data
