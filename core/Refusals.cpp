// The refusal texts, word for word as the window and kelvaro show them.
#include "Refusals.h"

#include "PeopleText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace kelvaro {

namespace {

const char* const kCalculationRefused = "Parametrit virheellisiä, Laskenta peruttu";
const char* const kCheckRefused = "Parametrit virheellisiä.";

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
const char* FixedText(RefusalCode code) {
    switch (code) {
    case RefusalCode::UnknownProductType:
        return "Tuntematon warrantin tyyppi";
    case RefusalCode::StrikeNotPositive:
        return "Toteutushinnan on oltava suurempi kuin 0";
    case RefusalCode::MultiplierNotPositive:
        return "Kertoimen on oltava suurempi kuin 0";
    case RefusalCode::VolatilityNotPositive:
        return "Laskentavolatiliteetin on oltava suurempi kuin 0 %";
    case RefusalCode::RateNotAboveMinus100:
        return "Riskittömän koron on oltava suurempi kuin -100 %";
    case RefusalCode::RateTooHigh:
        return "Riskitön korko on liian suuri (yli 1000 %)";
    case RefusalCode::OpenFractionOutOfRange:
        return "Pörssiajan on oltava yli 0 % ja enintään 100 % päivästä";
    case RefusalCode::WeekendWeightNegative:
        return "Viikonlopun pituus päivinä ei voi olla negatiivinen";
    case RefusalCode::StepsPerDayBelowOne:
        return "Aika-askelia päivässä on oltava vähintään 1";
    case RefusalCode::DividendNotFinite:
        return "Osinko ei ole kelvollinen luku";
    case RefusalCode::DividendDateNotFinite:
        return "Osinkopäivä ei ole kelvollinen";
    case RefusalCode::KnockOutMarginNotFinite:
        return "SG:n knock-out marginaali ei ole kelvollinen luku";
    case RefusalCode::DateNotFinite:
        return "Päivämäärä ei ole kelvollinen";
    case RefusalCode::SharePriceNotPositive:
        return "Osakkeen hinnan on oltava suurempi kuin 0";
    case RefusalCode::MarketPriceNotPositive:
        return "Warrantin hinnan on oltava suurempi kuin 0";
    case RefusalCode::DateRangeRefused:
        return kCalculationRefused;
    case RefusalCode::TooManyTimeSteps:
        return "Aika-askelten määrä ei mahdu laskentaan (liian monta aika-askelta)";
    case RefusalCode::ValuationAfterClose:
        return "Laskentahetki on päättymispäivän pörssin sulkemisen jälkeen";
    case RefusalCode::NoTimeSteps:
        return "Laskentahetken ja päättymisen välillä ei ole yhtään aika-askelta";
    case RefusalCode::VolatilityUnderflow:
        return "Laskentavolatiliteetti on liian pieni";
    case RefusalCode::PriceRangeOverflow:
        return "Hinta-alue on liian laaja (ylivuoto)";
    case RefusalCode::PriceRangeUnderflow:
        return "Hinta-alue on liian laaja (alivuoto)";
    case RefusalCode::TooManyPriceSteps:
        return "Hinta-askelia on liian monta";
    case RefusalCode::OnePriceLevel:
        return "Hilassa on vain yksi hintataso";
    case RefusalCode::PriceStepTooSmall:
        return "Hinta-askel on liian pieni";
    case RefusalCode::ProbabilitiesNotFinite:
        return "Todennäköisyydet eivät ole äärellisiä";
    case RefusalCode::ArraysTooLarge:
        return "Hilan taulukot eivät mahdu muistiin";
    case RefusalCode::ArraysOutOfMemory:
        return "Muisti ei riitä hilan taulukoille";
    case RefusalCode::PayoffOverflow:
        return "Warrantin arvo ylivuotaa";
    case RefusalCode::ResidualOverflow:
        return "Jäännösarvo ylivuotaa";
    case RefusalCode::ResidualOutOfMemory:
        return "Muisti ei riitä jäännösarvon laskentaan";
    case RefusalCode::NotBuilt:
        return "Hilaa ei ole rakennettu";
    case RefusalCode::BadTradingDay:
        return "Virheellinen kaupankäyntipäivä";
    case RefusalCode::ValuesOverflow:
        return "Warrantin arvot kasvoivat liian suuriksi (ylivuoto)";
    case RefusalCode::NegativeBranchWeight:
        return "Laskentavolatiliteetti on liian pieni suhteessa korkoon "
               "(haarautumistodennäköisyys on negatiivinen)";
    case RefusalCode::WorkLimit:
        return "fuzz: work limit";
    case RefusalCode::VolatilityTooHigh:
    case RefusalCode::VolatilityTooLowForRate:
        break;
    }
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
    }
    return {};
}

std::string DateRangeRefusalText(const CGrid& grid, RefusedCommand command, RefusalForm form) {
    const std::optional<DateRangeProblem> problem =
        DateRangeRefusal(grid.ValuationTime, grid.Warrant.Expiry);
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
