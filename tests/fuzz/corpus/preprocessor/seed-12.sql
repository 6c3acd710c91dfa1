SELECT COUNT(*) FROM (
  Select * from Cast_Titles where ID_Cruise = 17 
  ) A