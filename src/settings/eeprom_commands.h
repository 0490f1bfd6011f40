// Host commands on the settings EEPROM (rows of the command chain).
#pragma once

// "*eer %x", "*eerc %x", "*eew %x %x", "*eewc %x %x" (user area), "*eed" (dump copy A),
// "*eec" / "*eec %d" (clear), "*ees" (save).
int row_eeprom(char* line);
// "*eel": reload the RAM record from copy A.
int row_eel(char* line);
// "i2c read %x", "i2c write %x %x": any EEPROM address.
int row_i2c(char* line);
