// The descriptor as plug-ins already built see it. A plug-in carries its own copy of CRepPlugIn's
// layout and of its table of operations; the program reads the members and calls the slots by
// position. Anything that moves one breaks every plug-in in the field without a compile error, so
// the numbers below were taken from interface version 1 and must only change with that version.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "orvik/PlugInBase.h"
#include "orvik/RepPlugIn.h"

namespace {

static_assert(kOrvikPlugInInterfaceVersion == 1);

// The operations' types, calling convention included (no slot may become static, const or
// noexcept, or take other arguments).
static_assert(std::is_same_v<decltype(&CRepPlugIn::Init), void (CRepPlugIn::*)()>);
static_assert(std::is_same_v<decltype(&CRepPlugIn::ExportSheet),
                             int (CRepPlugIn::*)(COvInfoSheet*, COvInfoAct*, std::string&)>);
static_assert(
    std::is_same_v<decltype(&CRepPlugIn::RunTask), void (CRepPlugIn::*)(const char*, COvInfoAct*)>);
static_assert(std::is_same_v<decltype(&CRepPlugIn::Deliver), void (CRepPlugIn::*)(COvInfoAct*)>);
static_assert(std::is_same_v<decltype(&CRepPlugIn::OpenDataSource),
                             int (CRepPlugIn::*)(COvInfoSheet*, COvInfoDS*)>);
static_assert(
    std::is_same_v<decltype(&CRepPlugIn::CreateView), CSheetView* (CRepPlugIn::*)(COvInfoSheet*)>);
static_assert(
    std::is_same_v<decltype(&CRepPlugIn::ViewPropertyChanged), void (CRepPlugIn::*)(COvInfoProp*)>);
static_assert(
    std::is_same_v<decltype(&CRepPlugIn::PropertyChanged), void (CRepPlugIn::*)(COvInfoProp*)>);
// The program never deletes a descriptor, so no destructor may enter the table.
static_assert(!std::has_virtual_destructor_v<CRepPlugIn>);
// The base class is a way of writing the descriptor, not a descriptor of another shape.
static_assert(sizeof(CRepPlugInBase) == sizeof(CRepPlugIn));

// A descriptor with one operation of its own after CRepPlugIn's: its slot number is the count of
// CRepPlugIn's slots.
class Probe : public CRepPlugInBase {
  public:
    virtual void After() {}
};

// The position in the table of operations of a virtual member function, as the Itanium C++ ABI
// stores it in a pointer to member: 1 + the slot's byte offset. -1 for anything else.
template <typename Member>
long SlotOf(Member member) {
    struct Representation {
        std::intptr_t Pointer;
        std::ptrdiff_t Adjustment;
    };
    static_assert(sizeof(Member) == sizeof(Representation));
    Representation stored{};
    std::memcpy(&stored, &member, sizeof stored);
    if (stored.Adjustment != 0 || (stored.Pointer & 1) == 0) return -1;
    return static_cast<long>((stored.Pointer - 1) / static_cast<std::intptr_t>(sizeof(void*)));
}

#if defined(__x86_64__) && defined(__GLIBCXX__)
constexpr bool kRecordedPlatform = true;
#else
constexpr bool kRecordedPlatform = false;
#endif

TEST(PlugInAbi, OperationsKeepTheirSlots) {
    if (!kRecordedPlatform) GTEST_SKIP() << "slots recorded for x86-64 only";
    EXPECT_EQ(SlotOf(&CRepPlugIn::Init), 0);
    EXPECT_EQ(SlotOf(&CRepPlugIn::ExportSheet), 1);
    EXPECT_EQ(SlotOf(&CRepPlugIn::RunTask), 2);
    EXPECT_EQ(SlotOf(&CRepPlugIn::Deliver), 3);
    EXPECT_EQ(SlotOf(&CRepPlugIn::OpenDataSource), 4);
    EXPECT_EQ(SlotOf(&CRepPlugIn::CreateView), 5);
    EXPECT_EQ(SlotOf(&CRepPlugIn::ViewPropertyChanged), 6);
    EXPECT_EQ(SlotOf(&CRepPlugIn::PropertyChanged), 7);
    // No slot was added: a plug-in built before would have nothing there to call.
    EXPECT_EQ(SlotOf(&Probe::After), 8);
}

TEST(PlugInAbi, MembersKeepTheirPlaces) {
    if (!kRecordedPlatform) GTEST_SKIP() << "layout recorded for x86-64 with libstdc++ only";
    Probe descriptor;
    const auto at = [&](const auto& member) {
        return reinterpret_cast<const char*>(&member) -
               reinterpret_cast<const char*>(static_cast<const CRepPlugIn*>(&descriptor));
    };
    // The table pointer comes first, then the members in their order.
    EXPECT_EQ(at(descriptor.m_InterfaceVersion), 8);
    EXPECT_EQ(at(descriptor.m_pApp), 16);
    EXPECT_EQ(at(descriptor.m_pDocClass), 24);
    EXPECT_EQ(at(descriptor.m_pChildFrameClass), 32);
    EXPECT_EQ(at(descriptor.m_pMainFrameClass), 40);
    EXPECT_EQ(at(descriptor.m_pCurObj), 48);
    EXPECT_EQ(at(descriptor.m_FileName), 56);
    EXPECT_EQ(at(descriptor.m_Version), 88);
    EXPECT_EQ(at(descriptor.m_Name), 120);
    EXPECT_EQ(at(descriptor.m_Note), 152);
    EXPECT_EQ(at(descriptor.m_PlugInIndex), 184);
    EXPECT_EQ(sizeof(CRepPlugIn), 192u);
    EXPECT_EQ(descriptor.m_InterfaceVersion, 1);
}

}  // namespace
