#include "MediaPositionMembers.h"

namespace platform::automation {

const MediaPositionMember kMediaPositionMembers[kMediaPositionMemberCount] = {
    {u"Duration", kDurationId, INVOKE_PROPERTYGET, VT_R8, u"plength", 7,
     &IMediaPosition::get_Duration, nullptr, nullptr},
    {u"CurrentPosition", kCurrentPositionId, INVOKE_PROPERTYPUT, VT_R8, u"llTime", 8, nullptr,
     &IMediaPosition::put_CurrentPosition, nullptr},
    {u"CurrentPosition", kCurrentPositionId, INVOKE_PROPERTYGET, VT_R8, u"pllTime", 9,
     &IMediaPosition::get_CurrentPosition, nullptr, nullptr},
    {u"StopTime", kStopTimeId, INVOKE_PROPERTYGET, VT_R8, u"pllTime", 10,
     &IMediaPosition::get_StopTime, nullptr, nullptr},
    {u"StopTime", kStopTimeId, INVOKE_PROPERTYPUT, VT_R8, u"llTime", 11, nullptr,
     &IMediaPosition::put_StopTime, nullptr},
    {u"PrerollTime", kPrerollTimeId, INVOKE_PROPERTYGET, VT_R8, u"pllTime", 12,
     &IMediaPosition::get_PrerollTime, nullptr, nullptr},
    {u"PrerollTime", kPrerollTimeId, INVOKE_PROPERTYPUT, VT_R8, u"llTime", 13, nullptr,
     &IMediaPosition::put_PrerollTime, nullptr},
    {u"Rate", kRateId, INVOKE_PROPERTYPUT, VT_R8, u"dRate", 14, nullptr, &IMediaPosition::put_Rate,
     nullptr},
    {u"Rate", kRateId, INVOKE_PROPERTYGET, VT_R8, u"pdRate", 15, &IMediaPosition::get_Rate, nullptr,
     nullptr},
    {u"CanSeekForward", kCanSeekForwardId, INVOKE_FUNC, VT_I4, u"pCanSeekForward", 16, nullptr,
     nullptr, &IMediaPosition::CanSeekForward},
    {u"CanSeekBackward", kCanSeekBackwardId, INVOKE_FUNC, VT_I4, u"pCanSeekBackward", 17, nullptr,
     nullptr, &IMediaPosition::CanSeekBackward},
};

namespace {
char16_t FoldCase(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool Answers(const MediaPositionMember& member, WORD flags) {
  switch (member.kind) {
    case INVOKE_PROPERTYGET:
      return (flags & DISPATCH_PROPERTYGET) != 0;
    case INVOKE_PROPERTYPUT:
      return (flags & DISPATCH_PROPERTYPUT) != 0;
    case INVOKE_FUNC:
      return (flags & DISPATCH_METHOD) != 0;
    default:
      return false;
  }
}
}  // namespace

bool SameName(const OLECHAR* a, const OLECHAR* b) {
  if (a == nullptr || b == nullptr) {
    return false;
  }
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (FoldCase(*a) != FoldCase(*b)) {
      return false;
    }
  }
  return *a == *b;
}

const MediaPositionMember* FindMember(MEMBERID id, WORD flags) {
  // A put among the flags wins: clients pass METHOD|PROPERTYGET for reads,
  // never a put, so a put flag always means a write.
  const MediaPositionMember* found = nullptr;
  for (const auto& member : kMediaPositionMembers) {
    if (member.id != id || !Answers(member, flags)) {
      continue;
    }
    if (member.kind == INVOKE_PROPERTYPUT) {
      return &member;
    }
    if (found == nullptr) {
      found = &member;
    }
  }
  return found;
}

bool HasMember(MEMBERID id) {
  for (const auto& member : kMediaPositionMembers) {
    if (member.id == id) {
      return true;
    }
  }
  return false;
}

const MediaPositionMember* FindMemberByName(const OLECHAR* name) {
  for (const auto& member : kMediaPositionMembers) {
    if (SameName(member.name, name)) {
      return &member;
    }
  }
  return nullptr;
}

}  // namespace platform::automation
