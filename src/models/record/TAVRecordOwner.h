#pragma once

#include <memory>

class TAVRecordOwner;

// The back reference from records to their owner: shared by a record and its
// copies, and emptied by the owner when it goes, so no copy ever reaches an
// owner that no longer exists.
using TAVRecordOwnerRef = std::shared_ptr<TAVRecordOwner*>;

// What a record tells the image it belongs to. A record knows its image only
// through this, so the record comes before the image object in the engine.
class TAVRecordOwner {
public:
    virtual ~TAVRecordOwner() = default;
    // The user changed a value of the record.
    virtual void notiRefreshUIWhenModified() = 0;

protected:
    TAVRecordOwner() = default;
    TAVRecordOwner(const TAVRecordOwner&) = default;
    TAVRecordOwner& operator=(const TAVRecordOwner&) = default;
};
