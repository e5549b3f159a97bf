#pragma once

#include <gtest/gtest.h>

#include "support/FixtureSite.h"
#include "support/LotfinchProgram.h"

namespace lotfinch::e2e {

// The real program with the fixture auction site as its proxy, its main
// window on the screen: ready for a person to type a phrase.
class ProgramWithFixtureSite : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
        ASSERT_TRUE(program.started()) << "LOTFINCH_PROGRAM names the program under test";
        ASSERT_NE(program.waitForMainWindow(), 0u) << program.output().toStdString();
    }

    test::FixtureSite site;
    LotfinchProgram program{site.proxyUrl()};
    const qint64 pid = program.pid();
};

} // namespace lotfinch::e2e
