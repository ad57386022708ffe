#include <gtest/gtest.h>

#include "platform/afx/afx.h"

namespace {

// Counts live instances, so that Delete's effect can be seen.
class CountedException : public CException {
  public:
    explicit CountedException(BOOL autoDelete) : CException(autoDelete) { ++s_live; }
    ~CountedException() override { --s_live; }
    static int s_live;
};
int CountedException::s_live = 0;

TEST(AfxExceptionTest, MemoryExceptionIsThrownByPointerAndSurvivesDelete) {
    CMemoryException* caught = nullptr;
    try {
        AfxThrowMemoryException();
    } catch (CMemoryException* e) {
        caught = e;
        e->Delete();
    }
    ASSERT_NE(caught, nullptr);
    // The same preallocated object each time, still usable after Delete.
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        EXPECT_EQ(e, caught);
        EXPECT_NE(dynamic_cast<CMemoryException*>(e), nullptr);
        e->Delete();
    }
}

TEST(AfxExceptionTest, DeleteFreesOnlyAutoDeleteExceptions) {
    CountedException* heapException = new CountedException(TRUE);
    CountedException kept(FALSE);
    EXPECT_EQ(CountedException::s_live, 2);
    heapException->Delete();
    EXPECT_EQ(CountedException::s_live, 1);
    kept.Delete();
    EXPECT_EQ(CountedException::s_live, 1);
}

}  // namespace
