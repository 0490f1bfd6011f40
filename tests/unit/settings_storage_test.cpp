// The settings record in the EEPROM: power cuts at every byte write, bit flips, damaged copies,
// layout upgrades.
#include <gtest/gtest.h>

#include "settings_test_util.h"

namespace voxa_test {
namespace {

class SettingsStorage : public ::testing::Test {
  protected:
    void SetUp() override {
        standalone().remove_sd();
        initialize_media();
        serial_up();
        standalone().cut_power_at_eeprom_write(0, false);
        standalone().power_on_again();
        erase_eeprom();
    }
    void TearDown() override {
        standalone().cut_power_at_eeprom_write(0, false);
        standalone().power_on_again();
    }

    // Both copies hold record, as a finished save leaves them.
    static void store_both(const EepromData& record) {
        store_copy(kEepromCopyA, record);
        store_copy(kEepromCopyB, record);
    }

    // After a power-on without cut, both copies are valid and hold what RAM holds.
    static void expect_settled(const char* context) {
        EXPECT_TRUE(copy_valid(kEepromCopyA)) << context;
        EXPECT_TRUE(copy_valid(kEepromCopyB)) << context;
        EXPECT_TRUE(same_record(stored_copy(kEepromCopyA), eepromData)) << context;
        EXPECT_TRUE(same_record(stored_copy(kEepromCopyB), eepromData)) << context;
    }

    // Runs step with the power cut during its nth EEPROM write (byte stored or lost).
    template <typename Step>
    static void with_cut(uint64_t n, bool stored, Step step) {
        standalone().cut_power_at_eeprom_write(n, stored);
        step();
        standalone().cut_power_at_eeprom_write(0, false);
        standalone().power_on_again();
    }

    // EEPROM writes step makes when nothing interrupts it.
    template <typename Step>
    static uint64_t writes_of(Step step) {
        const auto image = eeprom_image();
        standalone().cut_power_at_eeprom_write(0, false);
        step();
        const uint64_t n = standalone().faults().eeprom_writes;
        set_eeprom_image(image);
        return n;
    }
};

EepromData changed_record(EepromData r) {
    // Changes whose byte deltas cancel out part-way (+1 then -1), so a copy cut short after the
    // first two of them adds up to its old checksum.
    r.tplo = uint16_t(r.tplo + 1);
    r.tphi = uint16_t(r.tphi - 1);
    r.baud0 = 3;
    std::strcpy(r.config, "after the cut");
    r.calPhyX[2] = 777;
    return r;
}

TEST_F(SettingsStorage, BlankEepromGivesDefaultsInTwoValidCopies) {
    const EepromData& r = power_on();
    EXPECT_TRUE(same_record(r, defaults()));
    EXPECT_EQ(r.signature, 0x1255);
    EXPECT_EQ(KV_EEPROMvalid(), 1);
    expect_settled("blank");
    // Bytes outside the checksum are never written.
    for (size_t i = kUncheckedFirst; i < kUncheckedEnd; ++i) {
        EXPECT_EQ(standalone().eeprom()[i], 0xFF) << i;
    }
}

TEST_F(SettingsStorage, SaveRewritesOnlyChangedBytes) {
    store_both(defaults());
    power_on();
    EXPECT_EQ(writes_of([] { KV_EEPROM_Save(); }), 0u);
    eepromData.tsamp = 9;
    EXPECT_EQ(writes_of([] { KV_EEPROM_Save(); }), 4u) << "the byte and the checksum, twice";
    eepromData.firmwareTag[0] = 'X';
    EXPECT_EQ(writes_of([] { KV_EEPROM_Save(); }), 4u) << "the tag is never saved";
}

TEST_F(SettingsStorage, PowerCutDuringSaveKeepsOldOrNewRecord) {
    const EepromData before = defaults();
    const EepromData after = changed_record(before);
    store_both(before);
    const auto image = eeprom_image();
    const auto save_after = [&] {
        eepromData = after;
        KV_EEPROM_Save();
    };
    const uint64_t writes = writes_of(save_after);
    ASSERT_GT(writes, 8u);
    for (const bool stored : {false, true}) {
        int saw_new = 0;
        for (uint64_t n = 1; n <= writes; ++n) {
            set_eeprom_image(image);
            with_cut(n, stored, save_after);
            const EepromData& r = power_on();
            const bool is_old = same_record(r, before);
            const bool is_new = same_record(r, after);
            ASSERT_TRUE(is_old || is_new)
                << "cut at write " << n << (stored ? " (stored)" : " (lost)");
            saw_new += is_new;
            expect_settled("after the cut");
        }
        EXPECT_GT(saw_new, 0) << "a cut late in the save keeps the new record";
    }
}

TEST_F(SettingsStorage, PowerCutDuringStartupRepairKeepsTheRecord) {
    const EepromData record = changed_record(defaults());
    const EepromData other = defaults();
    struct Damage {
        const char* what;
        void (*apply)(const EepromData& record, const EepromData& other);
    };
    const Damage damages[] = {
        {"copy A bad",
         [](const EepromData& r, const EepromData&) {
             store_copy(kEepromCopyA, r);
             store_copy(kEepromCopyB, r);
             standalone().eeprom()[kEepromCopyA + 40] ^= 0x10;
         }},
        {"copy B bad",
         [](const EepromData& r, const EepromData&) {
             store_copy(kEepromCopyA, r);
             store_copy(kEepromCopyB, r);
             standalone().eeprom()[kEepromCopyB + kEepromChecksumOffset] ^= 0x01;
         }},
        {"copy B blank",
         [](const EepromData& r, const EepromData&) { store_copy(kEepromCopyA, r); }},
        {"save cut after copy A",
         [](const EepromData& r, const EepromData& o) {
             store_copy(kEepromCopyA, r);
             store_copy(kEepromCopyB, o);
         }},
    };
    for (const auto& d : damages) {
        for (const bool stored : {false, true}) {
            erase_eeprom();
            d.apply(record, other);
            const auto image = eeprom_image();
            const uint64_t writes = writes_of([] { power_on(); });
            ASSERT_GT(writes, 0u) << d.what;
            for (uint64_t n = 1; n <= writes; ++n) {
                set_eeprom_image(image);
                with_cut(n, stored, [] { power_on(); });
                const EepromData& r = power_on();
                ASSERT_TRUE(same_record(r, record)) << d.what << ", cut at write " << n;
                expect_settled(d.what);
            }
        }
    }
}

TEST_F(SettingsStorage, PowerCutWhileStoringDefaultsNeverYieldsAMix) {
    const uint64_t writes = writes_of([] { power_on(); });
    ASSERT_GT(writes, 100u);
    const EepromData d = defaults();
    for (const bool stored : {false, true}) {
        for (uint64_t n = 1; n <= writes; ++n) {
            erase_eeprom();
            with_cut(n, stored, [] { power_on(); });
            ASSERT_TRUE(same_record(power_on(), d)) << "cut at write " << n;
            expect_settled("defaults");
        }
    }
}

TEST_F(SettingsStorage, EverySingleBitFlipInOneCopyIsRepaired) {
    const EepromData record = changed_record(defaults());
    for (const uint32_t base : {kEepromCopyA, kEepromCopyB}) {
        for (uint32_t i = 0; i < 0x100; ++i) {
            const bool covered =
                (i < kUncheckedFirst || (i >= kUncheckedEnd && i < kSettingsSize)) ||
                i == kEepromChecksumOffset;
            if (!covered) continue;
            for (int bit = 0; bit < 8; ++bit) {
                erase_eeprom();
                store_copy(kEepromCopyA, record);
                store_copy(kEepromCopyB, record);
                standalone().eeprom()[base + i] ^= uint8_t(1 << bit);
                ASSERT_FALSE(copy_valid(base)) << "byte " << i << " bit " << bit;
                ASSERT_TRUE(same_record(power_on(), record)) << "byte " << i << " bit " << bit;
                ASSERT_TRUE(copy_valid(kEepromCopyA) && copy_valid(kEepromCopyB));
                ASSERT_EQ(stored_copy(base).tplo, record.tplo);
                ASSERT_EQ(std::memcmp(standalone().eeprom() + kEepromCopyA,
                                      standalone().eeprom() + kEepromCopyB, kSettingsSize),
                          0)
                    << "byte " << i << " bit " << bit;
            }
        }
    }
}

TEST_F(SettingsStorage, BytesOutsideTheChecksumDoNotSpoilACopy) {
    EepromData record = defaults();
    std::memcpy(record.firmwareTag, "TAG-B-01", 8);
    store_copy(kEepromCopyB, record);
    std::memcpy(record.firmwareTag, "TAG-A-01", 8);
    store_copy(kEepromCopyA, record);
    standalone().eeprom()[kEepromCopyA + 75] = 'Z';  // byte 75 changed after the save
    const EepromData& r = power_on();
    EXPECT_EQ(std::string(r.firmwareTag, 8), "TZG-A-01") << "copy A still counts as good";
    EXPECT_EQ(standalone().eeprom()[kEepromCopyA + 75], 'Z') << "and is not rewritten";
}

TEST_F(SettingsStorage, BothCopiesBadAreRebuiltOnlyFromCorroboratingCopies) {
    const EepromData record = changed_record(defaults());
    const EepromData d = defaults();
    const auto setup = [&record](int a_byte, int a_bit, int b_byte, int b_bit) {
        erase_eeprom();
        store_copy(kEepromCopyA, record);
        store_copy(kEepromCopyB, record);
        if (a_byte >= 0) standalone().eeprom()[kEepromCopyA + a_byte] ^= uint8_t(1 << a_bit);
        if (b_byte >= 0) standalone().eeprom()[kEepromCopyB + b_byte] ^= uint8_t(1 << b_bit);
    };

    // A fault in each copy, at different places: together they still tell the record.
    setup(36, 2, 130, 0);
    EXPECT_TRUE(same_record(power_on(), record));
    expect_settled("one fault in each copy");
    setup(93, 5, kEepromChecksumOffset, 7);
    EXPECT_TRUE(same_record(power_on(), record));

    // Identical copies whose checksum bytes both went wrong.
    setup(kEepromChecksumOffset, 1, kEepromChecksumOffset, 1);
    EXPECT_TRUE(same_record(power_on(), record));

    // Two faults that cancel out in the sum: either combination would do; nothing is guessed.
    setup(-1, 0, -1, 0);
    standalone().eeprom()[kEepromCopyA + 40] += 4;
    standalone().eeprom()[kEepromCopyB + 41] -= 4;
    EXPECT_TRUE(same_record(power_on(), d));

    // One damaged copy and nothing to compare it with: its bad byte is unknown, so it is not
    // stored back as if it were good.
    setup(36, 2, -1, 0);
    std::memset(standalone().eeprom() + kEepromCopyB, 0xFF, 0x100);
    EXPECT_TRUE(same_record(power_on(), d));
    expect_settled("defaults after an unrecoverable copy");
}

TEST_F(SettingsStorage, BadChecksumInCopyAWithBadDataInCopyB) {
    // The mirror image of a bad data byte in A with a bad checksum in B: here only copy B's
    // checksum is right, and only copy A's data.
    const EepromData record = changed_record(defaults());
    const struct {
        int b_byte, b_bit, a_bit;
    } faults[] = {{36, 2, 0}, {128, 0, 7}, {175, 6, 3}, {2, 4, 1}};
    for (const auto& f : faults) {
        SCOPED_TRACE(testing::Message() << "B byte " << f.b_byte << " bit " << f.b_bit);
        erase_eeprom();
        store_copy(kEepromCopyA, record);
        store_copy(kEepromCopyB, record);
        standalone().eeprom()[kEepromCopyA + kEepromChecksumOffset] ^= uint8_t(1 << f.a_bit);
        standalone().eeprom()[kEepromCopyB + f.b_byte] ^= uint8_t(1 << f.b_bit);
        ASSERT_FALSE(copy_valid(kEepromCopyA));
        ASSERT_FALSE(copy_valid(kEepromCopyB));
        EXPECT_TRUE(same_record(power_on(), record));
        expect_settled("checksum of A and data of B");
    }
}

TEST_F(SettingsStorage, SalvageLooksOnlyAtCheckedBytes) {
    // The copies' firmware tags differ (they lie outside the checksum and are never saved);
    // that is no disagreement about the record.
    EepromData record = changed_record(defaults());
    std::memcpy(record.firmwareTag, "TAG-A-01", 8);
    erase_eeprom();
    store_copy(kEepromCopyA, record);
    EepromData other = record;
    std::memcpy(other.firmwareTag, "TAG-B-02", 8);
    store_copy(kEepromCopyB, other);
    standalone().eeprom()[kEepromCopyA + 40] ^= 0x08;
    standalone().eeprom()[kEepromCopyB + kEepromChecksumOffset] ^= 0x20;
    const EepromData& r = power_on();
    EXPECT_TRUE(same_record(r, record));
    EXPECT_EQ(std::string(r.firmwareTag, 8), "TAG-A-01");
    expect_settled("tags differ");
}

TEST_F(SettingsStorage, SalvageAcceptsEveryRecognisedLayoutUpToTheNewest) {
    const EepromData base = changed_record(defaults());
    for (const uint16_t sig : {0x1255, 0x125A, 0x1260, 0x1261}) {
        SCOPED_TRACE(testing::Message() << std::hex << sig);
        EepromData old = base;
        old.signature = sig;
        erase_eeprom();
        store_copy(kEepromCopyA, old);
        store_copy(kEepromCopyB, old);
        standalone().eeprom()[kEepromCopyA + 93] ^= 0x20;
        standalone().eeprom()[kEepromCopyB + 130] ^= 0x01;
        const EepromData& r = power_on();
        if (sig <= 0x1260) {
            EepromData want = base;
            if (sig != 0x1255) want.autoCal = 0;  // the range repair of older layouts
            EXPECT_TRUE(same_record(r, want)) << "salvaged and brought to the current layout";
        } else {
            EXPECT_TRUE(same_record(r, defaults())) << "an unknown layout is not salvaged";
        }
        EXPECT_EQ(r.signature, 0x1255);
        expect_settled("salvaged");
    }
}

TEST_F(SettingsStorage, LayoutUpgradeKeepsBaudCodesFrom3To8) {
    // Older layouts allowed codes the current ports do not trust: below 9600 and above 230400
    // both ports start at 115200 (code 7); the limits themselves are kept.
    for (const uint16_t sig : {0x1256, 0x125A, 0x1260}) {
        for (const uint8_t code : {0, 1, 2, 3, 4, 7, 8, 9, 10, 0xFF}) {
            SCOPED_TRACE(testing::Message()
                         << std::hex << "layout " << sig << std::dec << " code " << int(code));
            const uint8_t want = code >= 3 && code <= 8 ? code : 7;
            const uint8_t other = code == 5 ? 6 : 5;
            for (const int port : {0, 1}) {
                EepromData old = defaults();
                old.signature = sig;
                old.baud0 = port == 0 ? code : other;
                old.baud1 = port == 1 ? code : other;
                erase_eeprom();
                store_copy(kEepromCopyA, old);
                store_copy(kEepromCopyB, old);
                const EepromData& r = power_on();
                EXPECT_EQ(port == 0 ? r.baud0 : r.baud1, want) << "port " << port;
                EXPECT_EQ(port == 0 ? r.baud1 : r.baud0, other) << "port " << port;
                expect_settled("upgraded");
            }
        }
    }
}

EepromData legacy_record(uint16_t signature) {
    EepromData r = defaults();
    r.signature = signature;
    for (int i = 0; i < 5; ++i) {
        r.calLogX[i] = r.calPhyX[i] = r.calLogY[i] = r.calPhyY[i] = int16_t(-1);
    }
    r.externalSpeaker = 1;
    return r;
}

TEST_F(SettingsStorage, TwoPointLayoutsBecomeFivePointTables) {
    for (const uint16_t sig : {0x1256, 0x1257, 0x1258}) {
        erase_eeprom();
        const EepromData old = legacy_record(sig);
        store_copy(kEepromCopyA, old);
        store_copy(kEepromCopyB, old);
        const EepromData& r = power_on();
        EXPECT_EQ(r.signature, 0x1255);
        EXPECT_EQ(r.calLogX[0], 399);
        EXPECT_EQ(r.calLogY[0], 239);
        EXPECT_EQ(r.calPhyX[0], 500);
        EXPECT_EQ(r.calPhyY[0], 500);
        // Corners: (x A, y B), (x B, y B), (x B, y A), (x A, y A).
        const int16_t lx[5] = {399, 15, 784, 784, 15}, ly[5] = {239, 15, 15, 464, 464};
        const int16_t px[5] = {500, 150, 850, 850, 150}, py[5] = {500, 150, 150, 850, 850};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(r.calLogX[i], lx[i]) << i;
            EXPECT_EQ(r.calLogY[i], ly[i]) << i;
            EXPECT_EQ(r.calPhyX[i], px[i]) << i;
            EXPECT_EQ(r.calPhyY[i], py[i]) << i;
        }
        EXPECT_EQ(r.externalSpeaker, 1) << "kept by these layouts";
        expect_settled("upgraded");
    }
    // 0x1255 without the table marker: the same, and the speaker setting is cleared.
    erase_eeprom();
    EepromData old = legacy_record(0x1255);
    old.calLayout = 0;
    old.legacyCal[1] = 785;  // halves round toward zero
    store_copy(kEepromCopyA, old);
    store_copy(kEepromCopyB, old);
    const EepromData& r = power_on();
    EXPECT_EQ(r.calLogX[0], 400);
    EXPECT_EQ(r.calLayout, 0xAA);
    EXPECT_EQ(r.externalSpeaker, 0);
}

TEST_F(SettingsStorage, WideTableLayoutIsReadFromTheCopyBlock) {
    // Layout 0x1259: twenty int32 from offset 132, i.e. up to byte 211 of the copy's block.
    EepromData old = defaults();
    old.signature = 0x1259;
    uint8_t block[0x100];
    std::memset(block, 0xFF, sizeof block);
    std::memcpy(block, &old, sizeof old);
    for (int i = 0; i < 20; ++i) {
        const int32_t v = (i % 2 ? -1 : 1) * (1000 + i) + (0x7 << 16);  // high halves dropped
        std::memcpy(block + 132 + 4 * i, &v, 4);
    }
    block[kEepromChecksumOffset] = KV_EEPROM_Checksum(block);
    std::memcpy(standalone().eeprom() + kEepromCopyA, block, sizeof block);
    std::memcpy(standalone().eeprom() + kEepromCopyB, block, sizeof block);
    const EepromData& r = power_on();
    const int16_t* tables[4] = {r.calLogX, r.calPhyX, r.calLogY, r.calPhyY};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(tables[i / 5][i % 5], int16_t((i % 2 ? -1 : 1) * (1000 + i))) << i;
    }
    EXPECT_EQ(r.signature, 0x1255);
    EXPECT_EQ(r.layoutOne, 1);
    EXPECT_EQ(r.calLayout, 0xAA);
    expect_settled("0x1259");
}

TEST_F(SettingsStorage, RangeRepairsAndCommonChecks) {
    EepromData old = defaults();
    old.signature = 0x125C;
    old.baud0 = 2;
    old.baud1 = 9;
    old.LCDshiftclock = 4;
    old.autoCal = 0xA5;
    old.mainPort = 3;
    old.layoutOne = 0;
    store_copy(kEepromCopyA, old);
    store_copy(kEepromCopyB, old);
    const EepromData& r = power_on();
    EXPECT_EQ(r.baud0, 7);
    EXPECT_EQ(r.baud1, 7);
    EXPECT_EQ(r.LCDshiftclock, 1);
    EXPECT_EQ(r.autoCal, 0);
    EXPECT_EQ(r.mainPort, 0);
    EXPECT_EQ(r.layoutOne, 1);
    EXPECT_EQ(r.signature, 0x1255);
    expect_settled("repaired");

    // The current layout keeps its autoCal flag and valid baud codes; only the common checks.
    old = defaults();
    old.autoCal = 0xA5;
    old.baud0 = 9;
    old.mainPort = 2;
    erase_eeprom();
    store_copy(kEepromCopyA, old);
    store_copy(kEepromCopyB, old);
    const EepromData& c = power_on();
    EXPECT_EQ(c.autoCal, 0xA5);
    EXPECT_EQ(c.baud0, 9);
    EXPECT_EQ(c.mainPort, 0);

    // An unknown signature with a good checksum: defaults.
    old.signature = 0x1261;
    erase_eeprom();
    store_copy(kEepromCopyA, old);
    store_copy(kEepromCopyB, old);
    EXPECT_TRUE(same_record(power_on(), defaults()));
}

TEST_F(SettingsStorage, ClearAreas) {
    store_both(defaults());
    standalone().eeprom()[kEepromUserArea + 5] = 0x42;
    KV_EEPROM_Clear(7);
    EXPECT_TRUE(copy_valid(kEepromCopyA));
    KV_EEPROM_Clear(1);
    EXPECT_FALSE(copy_valid(kEepromCopyA));
    EXPECT_TRUE(copy_valid(kEepromCopyB));
    KV_EEPROM_Clear(0);
    EXPECT_EQ(standalone().eeprom()[kEepromUserArea + 5], 0xFF);
    KV_EEPROM_Clear(2);
    for (uint32_t i = 0; i < 0x200; ++i) ASSERT_EQ(standalone().eeprom()[i], 0xFF) << i;
}

TEST_F(SettingsStorage, BaudRateCodes) {
    EXPECT_EQ(KV_EEPROM_eeVal2Rate(1), 1200u);
    EXPECT_EQ(KV_EEPROM_eeVal2Rate(3), 9600u);
    EXPECT_EQ(KV_EEPROM_eeVal2Rate(9), 460800u);
    EXPECT_EQ(KV_EEPROM_eeVal2Rate(0), 115200u);
    EXPECT_EQ(KV_EEPROM_eeVal2Rate(10), 115200u);
    EXPECT_EQ(KV_EEPROM_Rate2eeVal(1200), 1);
    EXPECT_EQ(KV_EEPROM_Rate2eeVal(9600), 3);
    EXPECT_EQ(KV_EEPROM_Rate2eeVal(2400), 0xFF);
    EXPECT_EQ(KV_EEPROM_Rate2eeVal(115201), 0xFF);

    store_both(defaults());
    power_on();
    EXPECT_EQ(KV_save_baudrate_eeprom(1, 19200), 1);
    EXPECT_EQ(stored_copy(kEepromCopyB).baud1, 4);
    EXPECT_TRUE(copy_valid(kEepromCopyB));
    EXPECT_EQ(KV_save_baudrate_eeprom(0, 2400), 0);
    EXPECT_EQ(host_output(), ":baud rate 2400 not supported, not saved\r");
    EXPECT_EQ(stored_copy(kEepromCopyA).baud0, 7);
    EXPECT_EQ(KV_save_baudrate_eeprom(2, 9600), 0);
    EXPECT_EQ(host_output(), "");
}

}  // namespace
}  // namespace voxa_test
