// Message-box styles and answer codes.
#include <array>
#include <cctype>

#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx::ui {
namespace {

constexpr std::array<const char*, 7> kNames = {"OK",     "Annulla", "Termina", "Riprova",
                                               "Ignora", "Si",      "No"};

}  // namespace

std::vector<int> Buttons(int style) {
  switch (style & 0xF) {
    case 1:
      return {kOk, kCancel};
    case 2:
      return {kAbort, kRetry, kIgnore};
    case 3:
      return {kYes, kNo, kCancel};
    case 4:
      return {kYes, kNo};
    case 5:
      return {kRetry, kCancel};
    default:
      // 0, and button codes that no box offers, show the single OK button.
      return {kOk};
  }
}

int DefaultAnswer(int style) {
  std::vector<int> buttons = Buttons(style);
  std::size_t index = static_cast<std::size_t>((style & 0xF00) >> 8);
  // A default beyond the box's last button falls back to the first, as the system box does.
  return index < buttons.size() ? buttons[index] : buttons.front();
}

std::string AnswerName(int answer) {
  if (answer < 1 || answer > 7) return "";
  return kNames[static_cast<std::size_t>(answer - 1)];
}

std::optional<int> ParseAnswer(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '7') return text[0] - '0';
  for (int code = 1; code <= 7; ++code) {
    if (text::EqualsNoCase(text, kNames[static_cast<std::size_t>(code - 1)])) return code;
  }
  if (text::EqualsNoCase(text, "S\xC3\xAC")) return kYes;  // "Sì", as the button reads
  return std::nullopt;
}

}  // namespace mlx::ui
