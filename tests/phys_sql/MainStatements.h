// The statements the application sends to the station database, filled as
// in its own examples, with the command kind and the main object of each
// SELECT worked out by hand. Shared by the preprocessor's tests and its
// benchmark.
#pragma once

#include "dataaccess/phys/qxZqPhysIntf.h"

struct TCorpusRow {
    const char *Id;
    const char *Text;
    TZqPhysCommandKind Kind;
    const char *FromObject;
};

// Filled examples of the application's statements, with the command kind
// and the main object a SELECT names (worked out by hand).
inline const TCorpusRow Corpus[] = {
    {"M1", R"SQL(Select Distinct ParamAbr, Unit, ParName From "Parameters")SQL", skSelect, "\"Parameters\""},
    {"M2", R"SQL(Select top 1 * from DOX1)SQL", skSelect, "DOX1"},
    {"M2", R"SQL(Select top 1 * from TEMP)SQL", skSelect, "TEMP"},
    {"M3", R"SQL(Select Distinct D.ID_Cruise, D.Cruise_Name, D.MAR, D.Ship_Code, D.Country_Code, D1.Ship_Name, D2.NAME from "D:\data\black2007".Cruise_Titles D, "D:\data\black2007".Ships D1, "D:\data\black2007".Countries D2 Where (D.Ship_Code = D1.Ship_Code)and(D.Country_Code=D2.Country_Code)  Order by D2.NAME, D1.Ship_Name)SQL", skSelect, "\"D:\\data\\black2007\".Cruise_Titles"},
    {"M4", R"SQL(Select * from Cruise_Titles where Cruise_Name like 'BS07%')SQL", skSelect, "Cruise_Titles"},
    {"M5", R"SQL(Select Top 1 * From "D:\data\black2007".PTS_Data)SQL", skSelect, "\"D:\\data\\black2007\".PTS_Data"},
    {"M5", R"SQL(Select Top 1 * From "D:\data\black2007".DOX1)SQL", skSelect, "\"D:\\data\\black2007\".DOX1"},
    {"M6", R"SQL(Select * from Cast_Titles where ID_Cruise = 17 order by Date_Cast, Time_Cast)SQL", skSelect, "Cast_Titles"},
    {"M7", R"SQL(Select ParamAbr, ParName, Unit from "Parameters" where ID_Cast = 4711)SQL", skSelect, "\"Parameters\""},
    {"M8", R"SQL(Select * from Cast_Titles where (ID_Cruise <> 17) and ((((Lon > 30.45)and(Lon < 31.3))and((Lat > 43.05)and(Lat < 44.05)))and(((Date_Cast > #7/3/2007#)and(Date_Cast < #7/9/2007#)) or ((Date_Cast = #7/3/2007#)and(Time_Cast >= #06.15.00#)) or ((Date_Cast = #7/9/2007#)and(Time_Cast <= #18.40.30#)))))SQL", skSelect, "Cast_Titles"},
    {"M9", R"SQL(drop table dupl)SQL", skDrop, ""},
    {"M10", R"SQL(select * into dupl from "D:\data\black2007.mdb".Cast_Titles where lon>100)SQL", skSelect, "\"D:\\data\\black2007.mdb\".Cast_Titles"},
    {"M11", R"SQL(Insert Into dupl Select * from "D:\data\black2007.mdb".Cast_Titles where (ID_Cruise <> 17) and (((((Lon > 30.45)and(Lon < 30.55))and((Lat > 43.05)and(Lat < 43.15)))and(((Date_Cast > #7/3/2007#)and(Date_Cast < #7/3/2007#)) or ((Date_Cast = #7/3/2007#)and(Time_Cast >= #06.15.00#)) or ((Date_Cast = #7/3/2007#)and(Time_Cast <= #06.15.00#))))))SQL", skInsert, ""},
    {"M12", R"SQL(Select Distinct * from dupl where (ID_Cruise <> 17))SQL", skSelect, "dupl"},
    {"M13", R"SQL(Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL From PTS_Data Where ID_Cast = 4711 order by PRES)SQL", skSelect, "PTS_Data"},
    {"M14", R"SQL(Select ID_Cast, PRES, FPRES, DOX1, FDOX1 From DOX1 Where ID_Cast = 4711 order by PRES)SQL", skSelect, "DOX1"},
    {"M15", R"SQL(Select * From "Parameters" where ID_Cast = 4711)SQL", skSelect, "\"Parameters\""},
    {"M16", R"SQL(Update PTS_Data Set FPRES=1, FTEMP=1, FPSAL=2 where ID_Cast = 4711and PRES = 10.2)SQL", skUpdate, ""},
    {"M17", R"SQL(Update DOX1 Set FPRES=1, FDOX1=3 where ID_Cast = 4711and PRES = 10.2)SQL", skUpdate, ""},
    {"M18", R"SQL(Create Table QCCastID (ID_Cast Integer not NULL, primary KEY (ID_cast)))SQL", skCreate, ""},
    {"M19", R"SQL(Delete From QCCastID)SQL", skDelete, ""},
    {"M20", R"SQL(select ID_Cruise, ID_Cast, Date_Cast, Time_Cast, FDt, Lon, FLon, Lat, FLat, Depth, FD, StationName from  Cast_Titles where ID_Cruise=17 order by Date_Cast, Time_Cast)SQL", skSelect, "Cast_Titles"},
    {"M21", R"SQL(Select ID_Cast, PRES, FPRES, Temp, Ftemp, PSal, FPSal from PTS_Data where ID_Cast = 4711 order by PRES)SQL", skSelect, "PTS_Data"},
    {"M22", R"SQL(Select ID_Cast, PRES, FPRES, DOX1, FDOX1 from DOX1 where ID_Cast = 4711 order by PRES)SQL", skSelect, "DOX1"},
    {"M23", R"SQL(Insert into QCCastID Select ID_Cast From Cast_Titles Where (Lon > 29.5) and (Lon < 30.5) and (Lat > 43) and (Lat < 43.5) and(Month(Date_Cast)=7))SQL", skInsert, ""},
    {"M24", R"SQL(Select Min(D1.PRES), Min(D1.TEMP), Max(D1.PRES), Max(D1.TEMP) From QCCastID D, PTS_Data D1 where D1.ID_Cast=D.ID_Cast)SQL", skSelect, "QCCastID"},
    {"M25", R"SQL(Select * from QCCastID)SQL", skSelect, "QCCastID"},
    {"M26", R"SQL(Select PRES, TEMP from PTS_Data where ID_Cast=4712 order by PRES)SQL", skSelect, "PTS_Data"},
    {"M27", R"SQL(Update Cast_Titles SET FLon = 3 where ID_Cast = 4711)SQL", skUpdate, ""},
    {"M27", R"SQL(Update Cast_Titles SET Date_Cast = #7/4/2007# where ID_Cast = 4711)SQL", skUpdate, ""},
    {"M27", R"SQL(Update Cast_Titles SET Time_Cast = #14.30.00# where ID_Cast = 4711)SQL", skUpdate, ""},
    {"M27", R"SQL(Update Cast_Titles SET Lon = 30.512 where ID_Cast = 4711)SQL", skUpdate, ""},
    {"M28", R"SQL(Update (select * from PTS_Data where (ID_Cast = 4711) and (PRES = 10.2)) SET Temp = 8.125)SQL", skUpdate, ""},
    {"M28", R"SQL(Update (select * from DOX1 where (ID_Cast = 4711) and (PRES = 10.2)) SET DOX1 = 6.48)SQL", skUpdate, ""},
    {"M29", R"SQL(select top 1 ID_Cast From PTS_Data where (ID_Cast = 4711)and((FTEMP = 2) or (FTEMP = 3)))SQL", skSelect, "PTS_Data"},
    {"M30", R"SQL(Select top 1 ID_Cast From DOX1 where (ID_Cast = 4711)and((FDOX1 = 2) or (FDOX1 = 3)))SQL", skSelect, "DOX1"},
    {"M31", R"SQL(DROP Table QCCastID)SQL", skDrop, ""},
    {"G1", R"SQL(SELECT T.* FROM Cruise_Titles T)SQL", skSelect, "Cruise_Titles"},
    {"G2", R"SQL(UPDATE Cast_Titles SET FLon = ?, FLat = ?, FDT = ?, FD = ? WHERE ID_Cast = ?)SQL", skUpdate, ""},
    {"G3", R"SQL(SELECT COUNT(*) FROM (
Select * from Cast_Titles where ID_Cruise = 17 
) A)SQL", skSelect, "(\nSelect * from Cast_Titles where ID_Cruise = 17 \n)"},
};
