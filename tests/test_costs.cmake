# The bench tests that take longest, with about how many seconds each took
# (most of it waiting out a bound or a reboot): CTest starts them first, so
# that none is left to run alone at the end of a run. Read by CTest after
# the tests of each layer are listed; a name no layer has is ignored. A new
# test that waits a minute belongs here.
foreach(entry
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/RebootDoesNothing=150"
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/RebootHangs=60"
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/RebootDrops=60"
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/Kf4DropbearWithoutScp=50"
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/Dropbear=50"
    "Flavours/FieldFlavourBench.TheOperatorsFlowMatchesTheCompatibilityTable/LegacyAlgorithms=50"
    "FleetBench.OneRunUpgradesEveryInstrumentOnceAndCheckModeChangesNothing=110"
    "TavrinctlBench.UpgradesAKf4InstrumentAndRestoresIt=95"
    "Families/KbdintOnlyBench.ConnectUpgradeAndRestoreLogInByTheOnePrompt/kf4=75"
    "Families/KbdintOnlyBench.ConnectUpgradeAndRestoreLogInByTheOnePrompt/kfw=70"
    "FleetBench.AFailingInstrumentFailsItsOwnHostOnly=70"
    "DiscoveryBench.AFleetOfAHundredIsFoundWholeAndOnce=65"
    "SshServiceBench.APortThatNeverSpeaksSshEndsTheConnectAsAnUnreachableInstrumentDoes=63"
    "FaultBench.TheInstrumentVanishingSilentlyDuringTheUploadFailsTheUpgradeWithinAMinute=58"
    "Vxi11Bench.WritesAndReadsAnsweredTooLateAreTriedAgain=56"
    "RebootWaitBenchTest.SlowFollowsTheInstrumentToItsNewAddress=55"
    "SshChannelBench.AQuietCommandLongerThanTheDeadPeerBoundCompletes=51"
    "UpgradeBench.AFailureAfterRollbackWasSetRestoresWithTheBarRunningDown=48"
    "FaultBench.AnInstrumentThatNeverComesBackEndsInFailureToReconnect=47"
    "UpgradeBench.UploadsRebootsAndTheNextConnectShowsTheNewVersion=43"
    "UpgradeBench.AnUnfinishedUpdateIsRolledBackBeforeTheUpgrade=39"
    "ConsoleBench.AReplyThatNeverCameLeavesTheLinesAfterItAnswered=27"
    "UpgradeBench.RestorePutsTheSavedSoftwareBackAndRestarts=24")
  string(REGEX MATCH "^(.*)=([0-9]+)$" _ "${entry}")
  set_tests_properties("${CMAKE_MATCH_1}" PROPERTIES COST ${CMAKE_MATCH_2})
endforeach()
