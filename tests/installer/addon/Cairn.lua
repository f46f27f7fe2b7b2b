-- The installer tests' stand-in for the Cairn addon.
Cairn = Cairn or {}
