#pragma once
// The 44-digit access key of a Brazilian electronic invoice: state, year and month
// of issue, the issuer's CNPJ, model, series, number, emission type, a random code
// and a modulus-11 check digit. It names the invoice in the authorisation, in its
// events and usually in the file name.

#include <optional>
#include <string>
#include <string_view>

namespace orvant::app {

inline constexpr std::size_t kAccessKeyLength = 44;

// The check digit of the first 43 digits: weights 2..9 from the right, repeating;
// r = sum mod 11; 0 when r is 0 or 1, else 11 - r. -1 when the text is not 43 digits.
int AccessKeyCheckDigit(std::string_view first43);

// The fields of a 44-digit key, as text (leading zeros kept).
struct TAccessKey {
    std::string Digits;

    std::string_view State() const { return View(0, 2); }      // IBGE code: 35 = SP
    std::string_view YearMonth() const { return View(2, 4); }  // "2611"
    std::string_view Cnpj() const { return View(6, 14); }
    std::string_view Model() const { return View(20, 2); }     // "65"
    std::string_view Series() const { return View(22, 3); }    // "001"
    std::string_view Number() const { return View(25, 9); }    // "000000123"
    std::string_view EmissionType() const { return View(34, 1); }
    std::string_view Code() const { return View(35, 8); }
    char CheckDigit() const { return Digits[43]; }
    bool CheckDigitRight() const;

private:
    std::string_view View(std::size_t at, std::size_t count) const
    {
        return std::string_view(Digits).substr(at, count);
    }
};

// A key when the text is exactly 44 digits (an "NFe" prefix, as infNFe's Id
// carries it, is taken off first); otherwise nothing.
std::optional<TAccessKey> ParseAccessKey(std::string_view text);

} // namespace orvant::app
