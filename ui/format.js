// Counts, file sizes and clock times written as the panel's language writes them, whatever the
// machine's own settings. TamselFormat(locale, hourCycle) gives the writers for one language.
window.TamselFormat = function (locale, hourCycle) {
  'use strict';
  const numbers = [0, 1].map((digits) => new Intl.NumberFormat(locale, { maximumFractionDigits: digits }));
  // A 24-hour clock writes its hours with two digits ("09:05:00"); a 12-hour one without ("9:05:00 AM").
  const clock = new Intl.DateTimeFormat(locale, { hour: hourCycle === 'h23' ? '2-digit' : 'numeric', minute: '2-digit',
                                                   second: '2-digit', hourCycle });
  const units = ['B', 'kB', 'MB', 'GB'];

  return {
    // "1 crédito", "3 créditos": the singular for exactly one, as in all three languages.
    count(n, one, other) {
      return numbers[0].format(n) + ' ' + (n === 1 ? one : other);
    },
    // Decimal units (1 kB = 1000 bytes): one decimal below ten of a unit, none from ten on.
    size(bytes) {
      let value = Math.max(0, Number(bytes) || 0);
      let unit = 0;
      while (unit < units.length - 1 && value >= (unit === 0 ? 1000 : 999.5)) {
        value /= 1000;
        unit++;
      }
      const digits = unit > 0 && value < 9.95 ? 1 : 0;
      return numbers[digits].format(value) + '\u00a0' + units[unit];
    },
    time(date) {
      return clock.format(date);
    },
  };
};
