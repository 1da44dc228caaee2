#ifndef PAIRSWEEP_H
#define PAIRSWEEP_H

#include <QString>

// Removes every pair that a test left in its private pair directory: through the
// driver's DeletePair first; a pair that is still held somehow has its socat (whose
// pid the driver wrote beside the links) terminated, so that no test leaves a
// process behind, whichever way it ended.
void sweepPairs(const QString &pairDir, const QString &driverPath);

#endif // PAIRSWEEP_H
