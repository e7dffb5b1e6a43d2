// The members of IMediaPosition as its type information describes them.
#pragma once

#include <win/platform.h>

namespace platform::automation {

// Dispatch ids of a dual interface without explicit ids: 0x6002xxxx, counted
// in interface order, one id a property (its get and put share it).
inline constexpr MEMBERID kDurationId = 0x60020000;
inline constexpr MEMBERID kCurrentPositionId = 0x60020001;
inline constexpr MEMBERID kStopTimeId = 0x60020002;
inline constexpr MEMBERID kPrerollTimeId = 0x60020003;
inline constexpr MEMBERID kRateId = 0x60020004;
inline constexpr MEMBERID kCanSeekForwardId = 0x60020005;
inline constexpr MEMBERID kCanSeekBackwardId = 0x60020006;

// One function of the interface; exactly one of the three calls is set.
struct MediaPositionMember {
  const char16_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  // The put's argument or the get's/method's result: VT_R8 or VT_I4.
  VARTYPE valueType;
  // Name of the put's argument or of the retval parameter.
  const char16_t* parameterName;
  // Slot in the IMediaPosition table (IUnknown and IDispatch take 0 to 6).
  USHORT slot;
  HRESULT (IMediaPosition::*getDouble)(double*);
  HRESULT (IMediaPosition::*putDouble)(double);
  HRESULT (IMediaPosition::*getLong)(LONG*);
};

inline constexpr UINT kMediaPositionMemberCount = 11;
// In table order.
extern const MediaPositionMember kMediaPositionMembers[kMediaPositionMemberCount];

// Slots of the whole IMediaPosition table, the inherited ones included.
inline constexpr USHORT kMediaPositionSlotCount = 18;

inline constexpr const char16_t* kMediaPositionTypeName = u"IMediaPosition";

// Case-insensitive over ASCII letters, as the platform compares names.
bool SameName(const OLECHAR* a, const OLECHAR* b);

// The function with this id that answers the invocation flags, or null.
const MediaPositionMember* FindMember(MEMBERID id, WORD flags);
// True when some function carries this id.
bool HasMember(MEMBERID id);
// The first function of this name (case-insensitive), or null.
const MediaPositionMember* FindMemberByName(const OLECHAR* name);

}  // namespace platform::automation
