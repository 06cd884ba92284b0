#pragma once
// NFC-e files for tests, written from the published layout: an issued invoice
// (with or without its authorisation), a cancellation event and a voided range,
// each with only the fields the month's report reads and a valid access key
// unless a test asks otherwise.

#include <cstdint>
#include <string>

namespace orvant::test {

struct TNfceInvoice {
    std::string State = "35";
    std::string YearMonth = "202611";     // of issue: the key's AAMM and dhEmi
    std::string Day = "21";
    std::string Cnpj = "12345678000195";
    int Model = 65;
    int Series = 1;
    std::int64_t Number = 1;
    int EmissionType = 1;                 // 9: off-line contingency
    std::int64_t Code = 12345678;
    int Environment = 1;                  // 2: test environment
    std::string Total = "10.00";
    bool Authorised = true;               // with protNFe
    std::string AuthorisationStatus = "100";

    // 44 digits with the right check digit (of the fields above).
    std::string Key() const;
    std::string Xml() const;
};

// procEventoNFe: a cancellation (110111) of `key`, accepted (135) unless told.
std::string CancellationXml(const std::string& key, const std::string& status = "135",
                            const std::string& eventType = "110111");

// procInutNFe: numbers first..last of a series voided, accepted (102) unless told.
std::string VoidedRangeXml(const std::string& cnpj, int series, std::int64_t first, std::int64_t last,
                           const std::string& status = "102");

} // namespace orvant::test
