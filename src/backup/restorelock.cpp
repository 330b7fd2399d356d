#include "backup/restorelock.h"

namespace {

// The bytes of the lock file that the two locks take.
constexpr int kReplacing = 0;
constexpr int kRestoring = 1;

}  // namespace

RestoreLock::RestoreLock(const QString &dir)
    : locks_(dir + QStringLiteral("/.Quillet.lock"))
{
}

RestoreLock::Outcome RestoreLock::enterStart()
{
    if (locks_.take(kReplacing) != platform::ByteLocks::Take::HeldElsewhere)
        return Taken;
    return locks_.heldElsewhere(kRestoring) ? Restoring : Starting;
}

RestoreLock::Outcome RestoreLock::enterRestore()
{
    if (locks_.take(kRestoring) == platform::ByteLocks::Take::HeldElsewhere)
        return Restoring;
    const Outcome outcome = enterStart();
    if (outcome != Taken)
        locks_.release(kRestoring);
    return outcome;
}

void RestoreLock::markRestoring()
{
    locks_.take(kRestoring);
}

void RestoreLock::leave()
{
    locks_.release(kRestoring);
    locks_.release(kReplacing);
}
