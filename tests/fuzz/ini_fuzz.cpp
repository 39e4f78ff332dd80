// Arbitrary bytes as a settings file: reading must never misbehave, and what the store
// writes must read back to the very same file (writing is stable after one round).
#include "settings/ini_store.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    zev1::ini_store store = zev1::ini_store::parse(input);
    const auto first = store.serialize();
    const auto second = zev1::ini_store::parse(first).serialize();
    if (first != second) {
        std::abort();
    }

    (void)store.ReadString("main_win", "level", "");
    (void)store.ReadInteger("main_win", "level", 5);
    (void)store.ReadBool("main", "nemecky", true);
    (void)store.ReadInteger("log_win", "psat_hex", 0);

    // A value written now must read back unchanged after a write and a read of the file.
    store.WriteString("com", "com", "COM7");
    store.WriteInteger("Main_Win", "LEVEL", -123);
    const auto again = zev1::ini_store::parse(store.serialize());
    if (again.ReadString("COM", "Com", "") != "COM7" ||
        again.ReadInteger("main_win", "level", 5) != -123 ||
        again.file_encoding() != store.file_encoding()) {
        std::abort();
    }
    return 0;
}
