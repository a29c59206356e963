// A document with a private journal folder and its first undo step, for the
// tests that record and undo steps.
#pragma once

#include <gtest/gtest.h>

#include "CVexoDoc.h"
#include "test_support.h"
#include "undo_journal.h"

struct JournaledDocTest : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};

    void StartJournal(int width, int height) {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc.NewImage(width, height));
        ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    }
};
