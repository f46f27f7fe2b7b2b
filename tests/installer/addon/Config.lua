-- Written by Cairnstone in the language the user chose.
CairnConfig = { language = "en" }
