// The Finnish texts of every refusal: the engine's codes, refused date
// ranges and the implied-volatility outcomes. UTF-8.
#pragma once

#include "Calendar.h"
#include "Grid.h"
#include "ImpliedVolatility.h"

#include <stdexcept>
#include <string>

namespace kelvaro {

// The cause of an engine refusal, as the user reads it
// ("Toteutushinnan on oltava suurempi kuin 0").
std::string RefusalText(const Refusal& refusal);
inline std::string RefusalText(const EngineError& error) {
    return RefusalText(error.Why());
}

// Why a date range is refused ("Päättymispäivä osuu viikonloppuun").
std::string DateRangeText(DateRangeProblem problem);

// Which command a refused date range stops: the check has its own heading.
enum class RefusedCommand { Calculate, Check };

// Why the command cannot use the grid's date range, or "" when it can.
// The window's box shows the heading ("Parametrit virheellisiä, Laskenta
// peruttu" or "Parametrit virheellisiä.") and the cause on a line of its own;
// kelvaro prints them on one line ("...peruttu: cause", "...virheellisiä. cause").
enum class RefusalForm { Box, Line };
std::string DateRangeRefusalText(const CGrid& grid, RefusedCommand command, RefusalForm form);

// The cause of a solve's outcome other than Solved, numbers with
// `separator` ("Hinnalla 0,12 ei löydy volatiliteettia väliltä 1–300 %:
// arvo vaihtelee välillä 0,15–2,10").
std::string VolatilityRefusal(const CImpliedVolatility& result, double price, char separator);

// A refusal the service layer words itself (the memory limit), shown as the
// engine's are.
class ServiceRefusal : public std::runtime_error {
public:
    explicit ServiceRefusal(const std::string& text) : std::runtime_error(text) {}
};

} // namespace kelvaro
