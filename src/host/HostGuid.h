// A host GUID in the Windows memory layout. Its text form is "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX",
// upper-case and without braces: the form navigator ids ("nav-" and the GUID) and stored page
// states use. ToText adds the braces of the registry form.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HostGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    bool IsNull() const;
    // The sixteen bytes as the Windows GUID structure lays them out in memory.
    std::array<uint8_t, 16> Bytes() const;
    // Upper-case text in braces: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
    std::string ToText() const;
    // Accepts the text with or without braces, hexadecimal digits of either case.
    static std::optional<HostGuid> Parse(std::string_view text);

    friend bool operator==(const HostGuid&, const HostGuid&) = default;
    friend auto operator<=>(const HostGuid&, const HostGuid&) = default;
};
