// The refusal texts, word for word as the window and kelvaro show them.
#include "Refusals.h"

#include "PeopleText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>

namespace kelvaro {

namespace {

constexpr const char* kCalculationRefused = "Parametrit virheellisiä, Laskenta peruttu";
constexpr const char* kCheckRefused = "Parametrit virheellisiä.";

// A limit in per cent, rounded towards the allowed side.
std::string Percent(double fraction, bool up) {
    char text[64];
    if (up)
        std::snprintf(text, sizeof text, "%.2f", std::ceil(fraction * 10000) / 100);
    else
        std::snprintf(text, sizeof text, "%.0f", std::floor(fraction * 100));
    std::string s(text);
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

// The causes without numbers.
constexpr std::pair<RefusalCode, const char*> kFixedTexts[] = {
    {RefusalCode::UnknownProductType, "Tuntematon warrantin tyyppi"},
    {RefusalCode::StrikeNotPositive, "Toteutushinnan on oltava suurempi kuin 0"},
    {RefusalCode::MultiplierNotPositive, "Kertoimen on oltava suurempi kuin 0"},
    {RefusalCode::VolatilityNotPositive, "Laskentavolatiliteetin on oltava suurempi kuin 0 %"},
    {RefusalCode::RateNotAboveMinus100, "Riskittömän koron on oltava suurempi kuin -100 %"},
    {RefusalCode::RateTooHigh, "Riskitön korko on liian suuri (yli 1000 %)"},
    {RefusalCode::OpenFractionOutOfRange,
     "Pörssiajan on oltava yli 0 % ja enintään 100 % päivästä"},
    {RefusalCode::WeekendWeightNegative, "Viikonlopun pituus päivinä ei voi olla negatiivinen"},
    {RefusalCode::StepsPerDayBelowOne, "Aika-askelia päivässä on oltava vähintään 1"},
    {RefusalCode::DividendNotFinite, "Osinko ei ole kelvollinen luku"},
    {RefusalCode::DividendDateNotFinite, "Osinkopäivä ei ole kelvollinen"},
    {RefusalCode::KnockOutMarginNotFinite, "SG:n knock-out marginaali ei ole kelvollinen luku"},
    {RefusalCode::ClosuresUnordered, "Pörssin sulkemispäivät eivät ole nousevassa järjestyksessä"},
    {RefusalCode::DateNotFinite, "Päivämäärä ei ole kelvollinen"},
    {RefusalCode::SharePriceNotPositive, "Osakkeen hinnan on oltava suurempi kuin 0"},
    {RefusalCode::MarketPriceNotPositive, "Warrantin hinnan on oltava suurempi kuin 0"},
    {RefusalCode::DateRangeRefused, kCalculationRefused},
    {RefusalCode::TooManyTimeSteps,
     "Aika-askelten määrä ei mahdu laskentaan (liian monta aika-askelta)"},
    {RefusalCode::ValuationAfterClose,
     "Laskentahetki on päättymispäivän pörssin sulkemisen jälkeen"},
    {RefusalCode::NoTimeSteps, "Laskentahetken ja päättymisen välillä ei ole yhtään aika-askelta"},
    {RefusalCode::VolatilityUnderflow, "Laskentavolatiliteetti on liian pieni"},
    {RefusalCode::PriceRangeOverflow, "Hinta-alue on liian laaja (ylivuoto)"},
    {RefusalCode::PriceRangeUnderflow, "Hinta-alue on liian laaja (alivuoto)"},
    {RefusalCode::TooManyPriceSteps, "Hinta-askelia on liian monta"},
    {RefusalCode::OnePriceLevel, "Hilassa on vain yksi hintataso"},
    {RefusalCode::PriceStepTooSmall, "Hinta-askel on liian pieni"},
    {RefusalCode::ProbabilitiesNotFinite, "Todennäköisyydet eivät ole äärellisiä"},
    {RefusalCode::ArraysTooLarge, "Hilan taulukot eivät mahdu muistiin"},
    {RefusalCode::ArraysOutOfMemory, "Muisti ei riitä hilan taulukoille"},
    {RefusalCode::PayoffOverflow, "Warrantin arvo ylivuotaa"},
    {RefusalCode::ResidualOverflow, "Jäännösarvo ylivuotaa"},
    {RefusalCode::ResidualOutOfMemory, "Muisti ei riitä jäännösarvon laskentaan"},
    {RefusalCode::NotBuilt, "Hilaa ei ole rakennettu"},
    {RefusalCode::BadTradingDay, "Virheellinen kaupankäyntipäivä"},
    {RefusalCode::ValuesOverflow, "Warrantin arvot kasvoivat liian suuriksi (ylivuoto)"},
    {RefusalCode::NegativeBranchWeight, "Laskentavolatiliteetti on liian pieni suhteessa korkoon "
                                        "(haarautumistodennäköisyys on negatiivinen)"},
    {RefusalCode::WorkLimit, "fuzz: work limit"},
};

const char* FixedText(RefusalCode code) {
    for (const auto& [known, text] : kFixedTexts)
        if (known == code) return text;
    return "Tuntematon laskennan virhe";
}

// Six significant digits, an exponent only where needed ("14,6", "1e+308").
std::string General(double x, char separator) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 6);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

} // namespace

std::string VolatilityRefusal(const CImpliedVolatility& r, double price, char separator) {
    const double low = std::min(r.ValueAtLowest, r.ValueAtHighest);
    const double high = std::max(r.ValueAtLowest, r.ValueAtHighest);
    // Two decimals as prices are quoted, four below 0.10; six digits with an
    // exponent where two decimals would run to twenty digits or more.
    const auto price2 = [separator](double x) {
        if (std::fabs(x) >= 1e15) return General(x, separator);
        return PeopleNumber(x, std::fabs(x) < 0.1 ? 4 : 2, separator);
    };
    const std::string at = "Hinnalla " + price2(price);
    const std::string cannot = at + " volatiliteettia ei voi päätellä: ";
    switch (r.Outcome) {
    case VolatilityOutcome::Solved:
        return {};
    case VolatilityOutcome::NoSolution:
        return at + " ei löydy volatiliteettia väliltä " +
               General(r.LowestVolatility * 100, separator) + "–300 %: arvo vaihtelee välillä " +
               price2(low) + "–" + price2(high);
    case VolatilityOutcome::Insensitive:
        return cannot + "warrantin arvo riippuu volatiliteetista vain vähän (vega alle " +
               PeopleNumber(kLeastVega, 4, separator) + " volatiliteettiprosenttiyksikköä kohden)";
    case VolatilityOutcome::KnockedOut:
        return cannot + "osakkeen hinta on knock-out-tasolla " + General(r.PriceLow, separator) +
               " tai sen takana";
    case VolatilityOutcome::OffLattice:
        return cannot +
               "osakkeen hinta on hilan hinta-alueen ulkopuolella kaikilla "
               "volatiliteeteilla 1–300 % (" +
               General(r.PriceLow, separator) + "–" + General(r.PriceHigh, separator) + ")";
    case VolatilityOutcome::Stopped:
        return "Volatiliteettihaku keskeytettiin";
    }
    return {};
}

std::string RefusalText(const Refusal& refusal) {
    switch (refusal.Code) {
    case RefusalCode::VolatilityTooHigh:
        return "Laskentavolatiliteetti on liian suuri tälle juoksuajalle (yli " +
               Percent(refusal.A, false) + " %)";
    case RefusalCode::VolatilityTooLowForRate:
        return "Laskentavolatiliteetti on liian pieni suhteessa korkoon ja juoksuaikaan (alle " +
               Percent(refusal.A, true) + " %)";
    default:
        return FixedText(refusal.Code);
    }
}

std::string DateRangeText(DateRangeProblem problem) {
    switch (problem) {
    case DateRangeProblem::ExpiryBeforeValuation:
        return "Päättymispäivä on ennen laskentapäivää";
    case DateRangeProblem::ExpiryTooFar:
        return "Päättymispäivä on liian kaukana: laskentapäivästä päättymispäivään saa olla "
               "enintään 2000 kalenteripäivää molemmat päivät mukaan lukien";
    case DateRangeProblem::ExpiryOnWeekend:
        return "Päättymispäivä osuu viikonloppuun";
    case DateRangeProblem::ExpiryOnClosure:
        return "Päättymispäivä osuu pörssin vapaapäivään";
    }
    return {};
}

std::string DateRangeRefusalText(const CGrid& grid, RefusedCommand command, RefusalForm form) {
    const std::optional<DateRangeProblem> problem =
        DateRangeRefusal(grid.ValuationTime, grid.Warrant.Expiry, grid.Closures);
    if (!problem) return {};
    const bool check = command == RefusedCommand::Check;
    std::string text = check ? kCheckRefused : kCalculationRefused;
    if (form == RefusalForm::Box)
        text += '\n';
    else
        text += check ? " " : ": ";
    return text + DateRangeText(*problem);
}

} // namespace kelvaro
