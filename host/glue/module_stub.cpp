// A module is its core library linked whole; this unit only gives the target a source.
