#include "backup/restorelock.h"

namespace {

// The bytes of the lock file that the two locks take.
constexpr int kReplacing = 0;
constexpr int kRestoring = 1;

using Take = platform::ByteLocks::Take;

}  // namespace

RestoreLock::RestoreLock(const QString &dir)
    : locks_(dir + QStringLiteral("/.Quillet.lock"), dir + QStringLiteral("/Quillet.zrv"))
{
}

RestoreLock::Outcome RestoreLock::enterStart()
{
    switch (locks_.take(kReplacing)) {
    case Take::Taken:
        return Taken;
    case Take::Shared:
        return TakenShared;
    case Take::HeldElsewhere:
        return locks_.heldElsewhere(kRestoring) ? Restoring : Starting;
    case Take::Failed:
        break;
    }
    // a lock file no one can lock keeps every restore out as well; one out
    // of this user's reach keeps none out, but a restore never puts its copy
    // over a database file that a start has open
    return locks_.lockableByNone() || locks_.outOfReach() ? TakenShared : CannotTell;
}

RestoreLock::Outcome RestoreLock::enterRestore()
{
    Outcome outcome = CannotTell;
    switch (locks_.take(kRestoring)) {
    case Take::HeldElsewhere:
        return Restoring;
    case Take::Taken:
        outcome = enterStart();
        break;
    case Take::Shared:
    case Take::Failed:
        break;
    }
    if (outcome != Taken) {
        locks_.release(kRestoring);
        locks_.release(kReplacing);
    }
    return outcome == TakenShared ? CannotTell : outcome;
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
