#include "Verdict.h"

#include "FloatFormat.h"
#include "PeopleText.h"

namespace kelvaro {

namespace {

// The number in the general format, as the results file's values.
constexpr int kValuePrecision = 4;
constexpr int kValueDigits = 3;

} // namespace

std::string TimeStepVerdict(double pMid, char separator) {
    // The thresholds apply to PMid; the number shown is the chance of a move.
    const std::string number =
        FloatToStrF(1.0 - pMid, TFloatFormat::ffGeneral, kValuePrecision, kValueDigits, separator);
    std::string text;
    if (!(pMid >= 0.1))
        text = "Aika-askel liian pitkä suhteessa pörssiarvon askeleeseen. "
               "Muutostodennäköisyys askeleella = ";
    else if (pMid > 0.995)
        text = "Aika-askel liian lyhyt suhteessa pörssiarvon askeleeseen "
               "Muutostodennäköisyys askeleella = ";
    else
        text = "Aika-askel sopiva suhteessa pörssiarvon askeleeseen "
               "Muutostodennäköisyys askeleella = ";
    return text + Latin1ToUtf8(number);
}

} // namespace kelvaro
