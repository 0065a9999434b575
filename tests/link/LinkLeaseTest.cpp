#include "link/LinkLease.h"

#include <gtest/gtest.h>

TEST(LinkLease, OneHolderAtATimeAndOneCallbackOnItsReturn)
{
    LinkLease lease;
    EXPECT_TRUE(lease.Take(LeaseHolder::Identify));
    EXPECT_FALSE(lease.Take(LeaseHolder::Setup));
    EXPECT_FALSE(lease.Take(LeaseHolder::Identify));
    EXPECT_EQ(lease.Holder(), LeaseHolder::Identify);

    int runs = 0;
    lease.WhenFree([&] { runs += 1; });
    lease.WhenFree([&] { runs += 10; }); // the latest request wins
    lease.Release(LeaseHolder::Setup);   // not the holder: nothing happens
    EXPECT_TRUE(lease.IsHeld());
    EXPECT_EQ(runs, 0);
    lease.Release(LeaseHolder::Identify);
    EXPECT_FALSE(lease.IsHeld());
    EXPECT_EQ(runs, 10);
    lease.Release(LeaseHolder::Identify); // twice: harmless, no second callback
    EXPECT_EQ(runs, 10);

    lease.WhenFree([&] { runs += 100; }); // free already: runs at once
    EXPECT_EQ(runs, 110);

    // The callback may take the lease itself (a pending setup starts).
    ASSERT_TRUE(lease.Take(LeaseHolder::Operation));
    lease.WhenFree([&] { EXPECT_TRUE(lease.Take(LeaseHolder::Setup)); });
    lease.Release(LeaseHolder::Operation);
    EXPECT_EQ(lease.Holder(), LeaseHolder::Setup);
    EXPECT_FALSE(lease.Take(LeaseHolder::None));
}

TEST(LinkLease, ALostLinkMarkIsTakenOnceAndANewHolderStartsClean)
{
    LinkLease lease;
    ASSERT_TRUE(lease.Take(LeaseHolder::Operation));
    lease.MarkLinkLost();
    EXPECT_TRUE(lease.TakeLinkLost());
    EXPECT_FALSE(lease.TakeLinkLost());
    lease.MarkLinkLost(); // never taken by the operation that ended
    lease.Release(LeaseHolder::Operation);
    ASSERT_TRUE(lease.Take(LeaseHolder::Setup));
    EXPECT_FALSE(lease.TakeLinkLost());
    lease.Release(LeaseHolder::Setup);
}
