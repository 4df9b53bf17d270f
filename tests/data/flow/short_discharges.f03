Flow Title=A location with one discharge too few
Number of Profiles= 3 
Profile Names=PF 1,PF 2,PF 3
River Rch & RM=Creek           ,Upper           ,105.5   
      12      20
Boundary for River Rch & Prof#=Creek           ,Upper           , 1 
