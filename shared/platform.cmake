# Platform code: built with the programs.
